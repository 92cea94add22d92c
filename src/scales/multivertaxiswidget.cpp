#include "multivertaxiswidget.h"

#include "parentscaleitem.h"
#include "vertreferenceaxiswidget.h"

#include <QAction>
#include <QHBoxLayout>
#include "settings.h"

MultiVertAxisWidget::MultiVertAxisWidget(int side, QWidget *subChart, QWidget *parent)
    : QWidget(parent)
    , m_side(side == VertReferenceAxisWidget::Left ? VertReferenceAxisWidget::Left
                                                   : VertReferenceAxisWidget::Right)
    , m_subChart(subChart)
    , m_layout(new QHBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

MultiVertAxisWidget::~MultiVertAxisWidget() = default;

void MultiVertAxisWidget::setPartner(MultiVertAxisWidget *partner)
{
    m_partner = partner;
}

QString MultiVertAxisWidget::keyPrefix() const
{
    return m_side == VertReferenceAxisWidget::Left ? QStringLiteral("left")
                                                   : QStringLiteral("right");
}

QList<VertReferenceAxisWidget *> MultiVertAxisWidget::axes() const
{
    QList<VertReferenceAxisWidget *> list;
    for (int i = 0; i < m_layout->count(); ++i) {
        auto *axis = qobject_cast<VertReferenceAxisWidget *>(m_layout->itemAt(i)->widget());
        if (axis && axis->scale())
            list.append(axis);
    }
    return list;
}

VertReferenceAxisWidget *MultiVertAxisWidget::axisFor(const ParentScaleItem *scale) const
{
    if (!scale)
        return nullptr;
    for (VertReferenceAxisWidget *axis : axes()) {
        if (axis->scale() == scale)
            return axis;
    }
    return nullptr;
}

int MultiVertAxisWidget::layoutIndexOf(VertReferenceAxisWidget *axis) const
{
    return axis ? m_layout->indexOf(axis) : -1;
}

VertReferenceAxisWidget *MultiVertAxisWidget::newAxis(ParentScaleItem *scale)
{
    return new VertReferenceAxisWidget(m_side, scale, m_subChart.data(), this);
}

VertReferenceAxisWidget *MultiVertAxisWidget::insertAxis(int position, VertReferenceAxisWidget *axis)
{
    if (!axis)
        return nullptr;
    if (m_layout->indexOf(axis) >= 0)
        m_layout->removeWidget(axis);
    position = qBound(0, position, m_layout->count());
    m_layout->insertWidget(position, axis);
    // The right row runs right to left for placement only; prices are still written left to
    // right, minus sign first.
    axis->setLayoutDirection(Qt::LeftToRight);
    axis->setColors(m_textColor, m_lineColor, m_backgroundColor);
    axis->setSideQuery([this](ParentScaleItem *scale, int side) {
        if (side == m_side)
            return hasAxisFor(scale);
        return m_partner && m_partner->hasAxisFor(scale);
    });
    connect(axis, &VertReferenceAxisWidget::changeParentScale, this,
            &MultiVertAxisWidget::changeParentScale, Qt::UniqueConnection);
    connect(axis, &VertReferenceAxisWidget::changeAxisSide, this,
            &MultiVertAxisWidget::changeAxisSide, Qt::UniqueConnection);
    connect(axis, &VertReferenceAxisWidget::gridUpdated, this,
            &MultiVertAxisWidget::vertGridUpdated, Qt::UniqueConnection);
    axis->show();

    // At most three: the one to go is the last other than the axis just put in.
    VertReferenceAxisWidget *removed = nullptr;
    const QList<VertReferenceAxisWidget *> list = axes();
    if (list.size() > MaxAxes) {
        for (auto it = list.crbegin(); it != list.crend(); ++it) {
            if (*it != axis) {
                removed = *it;
                break;
            }
        }
        removeAxis(removed);
    }
    updateGeometry();
    Q_EMIT vertGridUpdated();
    return removed;
}

VertReferenceAxisWidget *MultiVertAxisWidget::attachScale(ParentScaleItem *scale)
{
    if (!scale)
        return nullptr;
    if (VertReferenceAxisWidget *existing = axisFor(scale))
        return existing;
    VertReferenceAxisWidget *axis = newAxis(scale);
    insertAxis(m_layout->count(), axis);
    return axis;
}

bool MultiVertAxisWidget::detachScale(const ParentScaleItem *scale)
{
    VertReferenceAxisWidget *axis = axisFor(scale);
    if (!axis)
        return false;
    removeAxis(axis);
    return true;
}

void MultiVertAxisWidget::removeAxis(VertReferenceAxisWidget *axis)
{
    if (!axis)
        return;
    m_layout->removeWidget(axis);
    axis->hide();
    axis->deleteLater();
    updateGeometry();
    Q_EMIT vertGridUpdated();
}

void MultiVertAxisWidget::setColors(const QColor &text, const QColor &line,
                                    const QColor &background)
{
    m_textColor = text;
    m_lineColor = line;
    m_backgroundColor = background;
    for (VertReferenceAxisWidget *axis : axes())
        axis->setColors(text, line, background);
}

void MultiVertAxisWidget::setCursorMark(int y)
{
    for (VertReferenceAxisWidget *axis : axes())
        axis->setCursorMark(y);
}

void MultiVertAxisWidget::clearCursorMark()
{
    for (VertReferenceAxisWidget *axis : axes())
        axis->clearCursorMark();
}

QList<MultiVertAxisWidget::GridLines> MultiVertAxisWidget::gridLines() const
{
    QList<GridLines> grids;
    for (VertReferenceAxisWidget *axis : axes()) {
        ParentScaleItem *scale = axis->scale();
        if (scale->isGridEnabled() && scale->hasVisibleChartItem() && drawsGridOf(scale))
            grids.append({scale->gridColor(), axis->gridLines()});
    }
    return grids;
}

QSize MultiVertAxisWidget::sizeHint() const
{
    int width = 0;
    for (VertReferenceAxisWidget *axis : axes()) {
        if (!axis->isHidden())
            width += axis->sizeHint().width();
    }
    return {width, m_layout->sizeHint().height()};
}

// --- the axes' menus ------------------------------------------------------------------------

void MultiVertAxisWidget::changeAxisSide(QAction *action)
{
    auto *axis = qobject_cast<VertReferenceAxisWidget *>(sender());
    if (!action || !axis || layoutIndexOf(axis) < 0 || !axis->scale())
        return;
    ParentScaleItem *scale = axis->scale();
    const int side = action->property("side").toInt();
    if (side == m_side) {
        removeAxis(axis);
        return;
    }
    if (!m_partner)
        return;
    if (action->isChecked())
        m_partner->attachScale(scale);
    else
        m_partner->detachScale(scale);
}

void MultiVertAxisWidget::changeParentScale(QAction *action)
{
    auto *axis = qobject_cast<VertReferenceAxisWidget *>(sender());
    if (!action || !axis || layoutIndexOf(axis) < 0)
        return;
    auto *chosen = qobject_cast<ParentScaleItem *>(action->property("parentScale").value<QObject *>());
    if (!chosen || chosen == axis->scale())
        return;
    // A scale shows at most one axis per side: the chosen scale's own axis here makes way.
    if (VertReferenceAxisWidget *other = axisFor(chosen))
        removeAxis(other);
    const int position = layoutIndexOf(axis);
    removeAxis(axis);
    insertAxis(position, newAxis(chosen));
}

// --- saved state ----------------------------------------------------------------------------

void MultiVertAxisWidget::saveState(Settings &settings) const
{
    // Only axes whose scale carries an id can be found again.
    QList<int> ids;
    for (VertReferenceAxisWidget *axis : axes()) {
        bool ok = false;
        const int id = axis->scale()->property("id").toInt(&ok);
        if (ok)
            ids.append(id);
    }
    const QString prefix = keyPrefix();
    settings.setValue(prefix + QStringLiteral("AxisCount"), int(ids.size()));
    for (int i = 0; i < ids.size(); ++i) {
        settings.beginGroup(QStringLiteral("%1Axis_%2").arg(prefix).arg(ids.size() - 1 - i));
        settings.setValue(QStringLiteral("parentScale"), ids[i]);
        settings.endGroup();
    }
}

void MultiVertAxisWidget::restoreState(Settings &settings, const QList<ParentScaleItem *> &scales)
{
    const QString prefix = keyPrefix();
    const QString countKey = prefix + QStringLiteral("AxisCount");
    bool ok = false;
    const int count = settings.value(countKey, 0).toInt(&ok);
    if (!ok)
        throw countKey;

    // Everything is read and checked before the row changes, so a bad entry loses nothing.
    QList<ParentScaleItem *> found;
    for (int j = 0; j < count; ++j) {
        settings.beginGroup(QStringLiteral("%1Axis_%2").arg(prefix).arg(j));
        const int id = settings.value(QStringLiteral("parentScale")).toInt(&ok);
        settings.endGroup();
        ParentScaleItem *scale = nullptr;
        if (ok) {
            for (ParentScaleItem *candidate : scales) {
                bool hasId = false;
                if (candidate && candidate->property("id").toInt(&hasId) == id && hasId) {
                    scale = candidate;
                    break;
                }
            }
        }
        if (!scale)
            throw QStringLiteral("parentScale");
        found.append(scale);
    }

    for (VertReferenceAxisWidget *axis : axes())
        removeAxis(axis);
    for (ParentScaleItem *scale : found) {
        if (!hasAxisFor(scale))
            insertAxis(0, newAxis(scale));
    }
}

// --- the two sides --------------------------------------------------------------------------

LeftMultiVertAxisWidget::LeftMultiVertAxisWidget(QWidget *subChart, QWidget *parent)
    : MultiVertAxisWidget(VertReferenceAxisWidget::Left, subChart, parent)
{
    setLayoutDirection(Qt::LeftToRight);
}

bool LeftMultiVertAxisWidget::drawsGridOf(const ParentScaleItem *scale) const
{
    return !(partner() && partner()->hasAxisFor(scale));
}

RightMultiVertAxisWidget::RightMultiVertAxisWidget(QWidget *subChart, QWidget *parent)
    : MultiVertAxisWidget(VertReferenceAxisWidget::Right, subChart, parent)
{
    setLayoutDirection(Qt::RightToLeft);
}
