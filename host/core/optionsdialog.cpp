#include "optionsdialog.h"

#include "ioptionspage.h"
#include "settings.h"
#include "ui_optionsdialog.h"

#include <QPushButton>

OptionsDialog::OptionsDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::OptionsDialog>())
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_ui->splitter->setStretchFactor(1, 1);
    m_ui->splitter->setSizes({220, 800});
    resize(1040, 640);
}

OptionsDialog::~OptionsDialog()
{
    finishPages();
}

void OptionsDialog::setPages(const QList<IOptionsPage *> &pages, Settings *settings)
{
    finishPages();
    m_ui->pageTree->clear();
    m_pages = pages;
    m_settings = settings;
    QHash<QString, QTreeWidgetItem *> categories;
    for (int i = 0; i < m_pages.size(); ++i) {
        IOptionsPage *page = m_pages.at(i);
        QTreeWidgetItem *&category = categories[page->category()];
        if (!category) {
            category = new QTreeWidgetItem(m_ui->pageTree, {page->displayCategory()});
            category->setIcon(0, page->categoryIcon());
            category->setFlags(Qt::ItemIsEnabled);
            category->setExpanded(true);
        }
        QWidget *widget = page->createPage(*m_settings, m_ui->pageStack);
        if (!widget)
            widget = new QWidget(m_ui->pageStack);
        m_widgets.append(widget);
        m_ui->pageStack->addWidget(widget);
        auto *item = new QTreeWidgetItem(category, {page->displayName()});
        item->setData(0, Qt::UserRole, i);
    }
    m_ui->pageTree->expandAll();
    if (!m_pages.isEmpty())
        showPage(m_pages.first()->id());
}

bool OptionsDialog::showPage(const QString &id)
{
    for (QTreeWidgetItemIterator it(m_ui->pageTree); *it; ++it) {
        const QVariant index = (*it)->data(0, Qt::UserRole);
        if (index.isValid() && m_pages.at(index.toInt())->id() == id) {
            m_ui->pageTree->setCurrentItem(*it);
            return true;
        }
    }
    return false;
}

QWidget *OptionsDialog::pageWidget(const QString &id) const
{
    for (int i = 0; i < m_pages.size(); ++i) {
        if (m_pages.at(i)->id() == id)
            return m_widgets.value(i);
    }
    return nullptr;
}

void OptionsDialog::apply()
{
    if (!m_settings)
        return;
    for (IOptionsPage *page : std::as_const(m_pages))
        page->apply(*m_settings);
    m_settings->sync();
    Q_EMIT applied();
}

void OptionsDialog::on_buttonBox_clicked(QAbstractButton *button)
{
    switch (m_ui->buttonBox->standardButton(button)) {
    case QDialogButtonBox::Ok:
        apply();
        accept();
        break;
    case QDialogButtonBox::Apply:
        apply();
        break;
    default:
        reject();
        break;
    }
}

void OptionsDialog::on_pageTree_currentItemChanged(QTreeWidgetItem *current,
                                                   QTreeWidgetItem *previous)
{
    Q_UNUSED(previous)
    if (!current)
        return;
    const QVariant index = current->data(0, Qt::UserRole);
    if (!index.isValid())
        return;
    const int i = index.toInt();
    m_ui->pageStack->setCurrentWidget(m_widgets.at(i));
    m_ui->pageTitle->setText(m_pages.at(i)->displayName());
}

void OptionsDialog::finishPages()
{
    // The dialog owns the page widgets; the pages must forget them.
    for (IOptionsPage *page : std::as_const(m_pages))
        page->finish();
    m_pages.clear();
    m_widgets.clear();
}
