#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStringList>
#include <QTableView>
#include <QTreeView>
#include <QWidget>

// What a person would find wrong with a shown window at its present size: a text cut short, a
// widget reaching past the window's edge, a table whose rows or columns need scrolling, a
// button in English. Long lists may be allowed to scroll their rows, never their columns.
// Empty when everything is legible.
inline QStringList legibilityFaults(QWidget *top, bool rowsMayScroll = false)
{
    QStringList faults;
    const QRect area = top->rect();
    const auto name = [](const QWidget *w, const QString &text) {
        return QStringLiteral("%1 '%2'").arg(
            w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                      : w->objectName(),
            text);
    };
    static const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    for (QWidget *w : top->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(top) || w->isWindow())
            continue;
        // Only what is on the tab or page in front counts.
        bool shown = true;
        for (QWidget *p = w; p && p != top; p = p->parentWidget())
            shown = shown && p->isVisible();
        if (!shown)
            continue;
        const QRect inTop(w->mapTo(top, QPoint(0, 0)), w->size());
        if (!area.contains(inTop))
            faults << name(w, QStringLiteral("reaches past the window"));
        if (auto *label = qobject_cast<QLabel *>(w)) {
            if (!label->text().isEmpty() && !label->wordWrap()
                && label->width() < label->sizeHint().width())
                faults << name(w, label->text() + QStringLiteral("' cut to '")
                                      + QString::number(label->width()));
            if (!label->text().isEmpty() && label->wordWrap()
                && label->height() < label->heightForWidth(label->width()))
                faults << name(w, label->text() + QStringLiteral("' cut to a height of '")
                                      + QString::number(label->height()));
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            const QString text = button->text().remove(QLatin1Char('&'));
            if (!text.isEmpty() && button->width() < button->minimumSizeHint().width())
                faults << name(w, text + QStringLiteral("' cut"));
            if (qobject_cast<QPushButton *>(w) && text != QLatin1String("OK") && text.contains(latin)
                && !text.contains(cyrillic))
                faults << name(w, text + QStringLiteral("' in English"));
        } else if (auto *group = qobject_cast<QGroupBox *>(w)) {
            if (group->width() < group->fontMetrics().horizontalAdvance(group->title()))
                faults << name(w, group->title() + QStringLiteral("' cut"));
        } else if (auto *view = qobject_cast<QAbstractItemView *>(w)) {
            if (!rowsMayScroll && view->verticalScrollBar()->isVisible())
                faults << name(w, QStringLiteral("rows need scrolling"));
            if (view->horizontalScrollBar()->isVisible())
                faults << name(w, QStringLiteral("columns need scrolling"));
            // A column narrower than its widest cell elides the cell's text.
            const auto *tree = qobject_cast<QTreeView *>(w);
            const auto *table = qobject_cast<QTableView *>(w);
            const QHeaderView *header = tree ? tree->header() : table ? table->horizontalHeader() : nullptr;
            for (int i = 0; header && i < header->count(); ++i) {
                if (!header->isSectionHidden(i) && header->sectionSize(i) < view->sizeHintForColumn(i))
                    faults << name(w, QStringLiteral("cells of column %1 cut").arg(i));
            }
        }
        if (auto *header = qobject_cast<QHeaderView *>(w); header && header->orientation() == Qt::Horizontal) {
            for (int i = 0; i < header->count(); ++i) {
                if (header->isSectionHidden(i))
                    continue;
                const QString title = header->model()->headerData(i, Qt::Horizontal).toString();
                if (header->sectionSize(i) < header->sectionSizeHint(i))
                    faults << name(w, title + QStringLiteral("' header cut"));
            }
        }
    }
    return faults;
}
