#include "seriesitemschedulesdialog.h"

#include "appsettings.h"
#include "mapsettings.h"
#include "propertydialogsupport.h"
#include "sessionscheduleform.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

SeriesItemScheduleDialog::SeriesItemScheduleDialog(int stockId, int boardId,
                                                   const QString &itemName, QWidget *parent)
    : QDialog(parent)
    , m_form(new SessionScheduleForm(this))
{
    setWindowTitle(QStringLiteral("Расписание для инструмента ") + itemName);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_form);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &SeriesItemScheduleDialog::accept);
    PropertyDialogSupport::setUpWindow(this, sizeGroup());
    AppSettings store(QStringLiteral("TechAnalysis"));
    MapSettings copy(store);
    m_form->loadFor(copy, stockId, boardId);
}

SeriesItemScheduleDialog::~SeriesItemScheduleDialog()
{
    PropertyDialogSupport::saveSize(this, sizeGroup());
}

void SeriesItemScheduleDialog::accept()
{
    AppSettings store(QStringLiteral("TechAnalysis"));
    m_form->applyShown(store);
    QDialog::accept();
}
