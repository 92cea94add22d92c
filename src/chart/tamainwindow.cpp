#include "tamainwindow.h"

#include "boarddirectory.h"
#include "icore.h"
#include "iviewfactory.h"
#include "iviewprovider.h"
#include "iwindow.h"
#include "mainsettingspage.h"
#include "securitydirectory.h"
#include "serieskey.h"
#include "settings.h"
#include "tacolorsettingspage.h"
#include "tamarginssettingspage.h"

#include <QLabel>
#include <QMenu>

namespace {

const QString InstrumentsKey = QStringLiteral("instruments");

} // namespace

TAMainWindow::TAMainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_content(new QLabel(this))
{
    m_content->setAlignment(Qt::AlignCenter);
    m_content->setTextFormat(Qt::RichText);
    setCentralWidget(m_content);
    setUserTitle(QString());
    updateContent();
}

TAMainWindow::~TAMainWindow() = default;

QList<IViewSettingsPage *> TAMainWindow::viewSettingsPages(QObject *parent)
{
    return {new MainSettingsPage(parent), new TAColorSettingsPage(parent),
            new TAMarginsSettingsPage(parent)};
}

void TAMainWindow::fillViewContextMenu(const QPoint &pos, QMenu *menu)
{
    Q_UNUSED(pos)
    for (const QString &key : std::as_const(m_keys))
        menu->addAction(key)->setEnabled(false);
}

void TAMainWindow::saveViewState(Settings &settings)
{
    settings.setValue(InstrumentsKey, m_keys.join(u'|'));
}

void TAMainWindow::saveViewSettings(Settings &settings)
{
    Q_UNUSED(settings)
}

void TAMainWindow::applyViewSettings(Settings &settings)
{
    Q_UNUSED(settings)
    const QStringList keys = property("extraKey").toString().split(u'|', Qt::SkipEmptyParts);
    for (const QString &key : keys)
        addInstrument(key.trimmed());
    // A second call must not open the instruments again.
    setProperty("extraKey", QString());
    updateContent();
}

void TAMainWindow::restoreViewState(Settings &settings)
{
    if (!settings.contains(InstrumentsKey))
        throw InstrumentsKey;
    const QStringList keys = settings.value(InstrumentsKey).toString().split(u'|',
                                                                            Qt::SkipEmptyParts);
    for (const QString &key : keys)
        SeriesKey::fromString(key); // throws the parser's message for a broken key
    m_keys.clear();
    for (const QString &key : keys)
        addInstrument(key);
    updateContent();
}

QSize TAMainWindow::defaultViewSize() const
{
    return {900, 600};
}

void TAMainWindow::addInstrument(const QString &key)
{
    try {
        SeriesKey::fromString(key);
        m_keys.append(key);
    } catch (const QString &error) {
        m_problems.append(error);
    }
}

void TAMainWindow::setUserTitle(const QString &title)
{
    setProperty("userTitle", title);
    QString base;
    const QByteArray factoryName = property("windowName").toString().toUtf8();
    if (IViewFactory *factory = ICore::instance()->viewProvider()->factory(factoryName))
        base = factory->title();
    const QString full = title.isEmpty() ? base : title + QStringLiteral(" - ") + base;
    setWindowTitle(full);
    if (IWindow *window = hostWindow(); window && window->widget())
        window->widget()->setWindowTitle(full);
}

void TAMainWindow::updateContent()
{
    QStringList names;
    QString html = QStringLiteral("<h3>%1</h3>").arg(tr("Инструменты окна"));
    for (const QString &key : std::as_const(m_keys)) {
        const SeriesKey k = SeriesKey::fromString(key);
        const QString name = SecurityDirectory::i()->nameById(k.stock_id, k.board_id, k.sec_id);
        const QString code = SecurityDirectory::i()->codeById(k.stock_id, k.board_id, k.sec_id);
        names.append(name.isEmpty() ? key : name);
        html += QStringLiteral("<p><b>%1</b> %2 — %3 <small>(%4)</small></p>")
                    .arg(code.toHtmlEscaped(), name.toHtmlEscaped(),
                         BoardDirectory::i()->nameById(k.stock_id, k.board_id).toHtmlEscaped(),
                         key);
    }
    if (m_keys.isEmpty())
        html += QStringLiteral("<p>%1</p>").arg(tr("Нет инструментов"));
    for (const QString &problem : std::as_const(m_problems))
        html += QStringLiteral("<p style='color:#c62828'>%1</p>").arg(problem.toHtmlEscaped());
    m_content->setText(html);
    setUserTitle(names.join(QStringLiteral(", ")));
}
