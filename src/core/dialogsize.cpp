#include "dialogsize.h"

#include "appsettings.h"

#include <QHeaderView>
#include <QLayout>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QTreeView>

#include <algorithm>

namespace DialogSize {

namespace {

const QString Key = QStringLiteral("dialog_size");

// A hidden page's widgets do not tell the layouts above them that their hints changed.
void invalidateUpTo(QWidget *widget, QWidget *top)
{
    for (QWidget *w = widget; w; w = w->parentWidget()) {
        w->updateGeometry();
        if (QLayout *layout = w->layout())
            layout->invalidate();
        if (w == top)
            break;
    }
}

} // namespace

int widthForColumns(QAbstractItemView *view)
{
    auto *tree = qobject_cast<QTreeView *>(view);
    auto *table = qobject_cast<QTableView *>(view);
    const QHeaderView *header = tree ? tree->header() : table ? table->horizontalHeader() : nullptr;
    if (!header)
        return view->sizeHint().width();
    int width = 2 * view->frameWidth()
                + view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    // A column of free text (an indicator's description) is shown up to a line's worth and
    // elided beyond; names, dates and numbers are shorter.
    view->ensurePolished();
    const int longest = 48 * view->fontMetrics().averageCharWidth();
    for (int column = 0; column < header->count(); ++column) {
        if (header->isSectionHidden(column))
            continue;
        int wanted = std::max(header->sectionSizeHint(column),
                              std::min(longest, view->sizeHintForColumn(column)));
        // A stretched last column is never narrower than a section's default.
        if (header->stretchLastSection() && column == header->count() - 1)
            wanted = std::max(wanted, header->defaultSectionSize());
        width += wanted;
    }
    return width;
}

QSize remembered(const QString &group)
{
    const QSize size = AppSettings(group).value(Key).toSize();
    return size.isValid() && !size.isEmpty() && size.width() < 10000 && size.height() < 10000
               ? size
               : QSize();
}

void remember(const QWidget *dialog, const QString &group)
{
    AppSettings(group).setValue(Key, dialog->size());
}

QSize showingColumns(QWidget *dialog, const QList<QTreeView *> &views)
{
    dialog->ensurePolished();
    QList<int> minimums;
    for (QTreeView *view : views) {
        minimums.append(view->minimumWidth());
        view->setMinimumWidth(std::max(view->minimumWidth(), widthForColumns(view)));
        invalidateUpTo(view, dialog);
    }
    QSize size = dialog->sizeHint();
    // Long texts (an indicator's description) do not make a dialog wider than the screen.
    if (const QScreen *screen = dialog->screen())
        size.setWidth(std::min(size.width(), screen->availableGeometry().width()));
    for (int i = 0; i < views.size(); ++i) {
        views.at(i)->setMinimumWidth(minimums.at(i));
        invalidateUpTo(views.at(i), dialog);
    }
    return size;
}

void restore(QWidget *dialog, const QString &group, const QList<QTreeView *> &views)
{
    const QSize size = remembered(group);
    dialog->resize(size.isValid() ? size : showingColumns(dialog, views));
}

} // namespace DialogSize
