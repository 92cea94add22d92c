#include "favsecmodelproxyrecent.h"

#include "boarddirectory.h"
#include "favoritesecurities.h"
#include "securitydirectory.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTimer>
#include <QtMath>

namespace {

const int IconSize = 16;

QPixmap starPixmap()
{
    QPixmap pixmap(IconSize, IconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(IconSize / 2.0, IconSize / 2.0 + 0.5);
    const qreal outer = IconSize / 2.0 - 0.5;
    const qreal inner = outer * 0.42;
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const qreal radius = i % 2 == 0 ? outer : inner;
        const qreal angle = qDegreesToRadians(-90.0 + i * 36.0);
        star << centre + QPointF(radius * qCos(angle), radius * qSin(angle));
    }
    painter.setPen(QPen(QColor(0xb0, 0x80, 0x00), 1.0));
    painter.setBrush(QColor(0xff, 0xc8, 0x20));
    painter.drawPolygon(star);
    return pixmap;
}

QPixmap clockPixmap()
{
    QPixmap pixmap(IconSize, IconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF face(1.5, 1.5, IconSize - 3.0, IconSize - 3.0);
    painter.setPen(QPen(QColor(0x40, 0x60, 0x90), 1.5));
    painter.setBrush(QColor(0xf4, 0xf8, 0xff));
    painter.drawEllipse(face);
    const QPointF centre = face.center();
    painter.setPen(QPen(QColor(0x20, 0x30, 0x50), 1.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre, centre + QPointF(0, -face.height() * 0.32));
    painter.drawLine(centre, centre + QPointF(face.width() * 0.25, 0));
    return pixmap;
}

bool parseKey(const QString &key, int *stock, int *board, qint64 *sec)
{
    const QStringList parts = key.split(u',');
    if (parts.size() != 3)
        return false;
    bool ok1 = false;
    bool ok2 = false;
    bool ok3 = false;
    *stock = parts.at(0).trimmed().toInt(&ok1);
    *board = parts.at(1).trimmed().toInt(&ok2);
    *sec = parts.at(2).trimmed().toLongLong(&ok3);
    return ok1 && ok2 && ok3;
}

} // namespace

FavSecModelProxyRecent::FavSecModelProxyRecent(QObject *parent)
    : QAbstractListModel(parent)
    , m_refreshTimer(new QTimer(this))
{
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(0);
    connect(m_refreshTimer, &QTimer::timeout, this, &FavSecModelProxyRecent::refresh);
    connect(FavoriteSecurities::instance(), &FavoriteSecurities::changed, this,
        &FavSecModelProxyRecent::refresh);
    // The directory signals on the thread that changed its table: the context object makes
    // the call queued then, and the timer runs in this model's thread.
    connect(SecurityDirectory::i(), &DirectoryBase::dataChanged, m_refreshTimer,
        [this] { m_refreshTimer->start(); });
    refresh();
}

FavSecModelProxyRecent::~FavSecModelProxyRecent() = default;

bool FavSecModelProxyRecent::makeRow(const QString &key, bool favorite, Row *row)
{
    int stock = 0;
    int board = 0;
    qint64 sec = 0;
    if (!parseKey(key, &stock, &board, &sec))
        return false;
    SecurityDirectory *securities = SecurityDirectory::i();
    if (securities->recordById(stock, board, sec).isNull())
        return false;
    BoardDirectory *boards = BoardDirectory::i();
    row->key = key;
    row->favorite = favorite;
    row->menuText
        = QStringLiteral("%1 — %2 (%3)")
              .arg(securities->codeById(stock, board, sec), securities->nameById(stock, board, sec),
                  boards->codeById(stock, board));
    row->toolTip = QStringLiteral("%1\n%2").arg(key, boards->nameById(stock, board));
    return true;
}

void FavSecModelProxyRecent::refresh()
{
    m_refreshTimer->stop();
    FavoriteSecurities *store = FavoriteSecurities::instance();
    const QStringList favorites = store->favorites();
    QList<Row> rows;
    for (const QString &key : favorites) {
        Row row;
        if (makeRow(key, true, &row))
            rows.append(row);
    }
    const QStringList recent = store->recent();
    for (const QString &key : recent) {
        Row row;
        if (!favorites.contains(key) && makeRow(key, false, &row))
            rows.append(row);
    }
    if (rows == m_rows)
        return;
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

int FavSecModelProxyRecent::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QIcon FavSecModelProxyRecent::icon(bool favorite) const
{
    QIcon &icon = favorite ? m_starIcon : m_clockIcon;
    if (icon.isNull())
        icon = QIcon(favorite ? starPixmap() : clockPixmap());
    return icon;
}

QVariant FavSecModelProxyRecent::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case MenuTextRole:
        return row.menuText;
    case KeyRole:
        return row.key;
    case FavoriteRole:
        return row.favorite;
    case Qt::DecorationRole:
        return icon(row.favorite);
    case Qt::ToolTipRole:
        return row.toolTip;
    default:
        return {};
    }
}

QHash<int, QByteArray> FavSecModelProxyRecent::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(KeyRole, "key");
    names.insert(FavoriteRole, "favorite");
    names.insert(MenuTextRole, "menuText");
    return names;
}
