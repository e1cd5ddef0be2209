#include "OmbrixUI/EntryRowDelegate.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QPainter>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Icons.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/BrandDate.h"
#include "OmbrixUI/EntryListModel.h"
#include "OmbrixUI/IconTile.h"

namespace {

// Row insets inside the list, then the row's own padding.
constexpr qreal insetX = 8, insetY = 1;
constexpr qreal padX = 8, padY = 6;
constexpr qreal tileSize = 30;
constexpr qreal gap = 8;
constexpr qreal markSize = 10;

QFont titleFont() {
    return BrandFont::body(13, QFont::DemiBold);
}
QFont modifiedFont() {
    return BrandFont::body(10, QFont::Normal);
}
QFont subtitleFont() {
    return BrandFont::body(11, QFont::Normal);
}

QString modifiedText(const QModelIndex& index) {
    const QDateTime modified = index.data(EntryListModel::ModifiedRole).toDateTime();
    return brandRelative(std::chrono::sys_seconds(std::chrono::seconds(modified.toSecsSinceEpoch())));
}

}  // namespace

EntryRowDelegate::EntryRowDelegate(const Interaction& interaction, QWidget* view, QObject* parent)
    : QStyledItemDelegate(parent), interaction_(interaction), hover_(view), selection_(view) {}

int EntryRowDelegate::rowHeight() {
    const qreal lines = QFontMetricsF(titleFont()).height() + 1 + QFontMetricsF(subtitleFont()).height();
    return qCeil(qMax(tileSize, lines) + 2 * padY + 2 * insetY);
}

EntryRowDelegate::Layout EntryRowDelegate::layout(const QRect& rowRect, const QModelIndex& index) {
    Layout l;
    l.background = QRectF(rowRect).adjusted(insetX, insetY, -insetX, -insetY);
    const QRectF inner = l.background.adjusted(padX, padY, -padX, -padY);
    const qreal midY = inner.center().y();
    l.tile = QRectF(inner.left(), midY - tileSize / 2, tileSize, tileSize);

    // The buttons keep their place while hidden, so the texts never jump under the pointer.
    const qreal buttonsLeft = inner.right() - 3 * buttonSize;
    for (std::size_t i = 0; i < l.buttons.size(); ++i)
        l.buttons[i] =
            QRectF(buttonsLeft + qreal(i) * buttonSize, midY - buttonSize / 2.0, buttonSize, buttonSize);

    const qreal textLeft = l.tile.right() + gap;
    const qreal textRight = buttonsLeft - gap;
    const qreal available = qMax<qreal>(0, textRight - textLeft);
    const QFontMetricsF titleMetrics(titleFont());
    const QFontMetricsF subtitleMetrics(subtitleFont());
    const qreal titleHeight = titleMetrics.height();
    const qreal top = midY - (titleHeight + 1 + subtitleMetrics.height()) / 2;

    // The title keeps its width first; the modification time gets what is left after the
    // expiry mark and a gap of at least 4.
    const bool expired = index.data(EntryListModel::ExpiredRole).toBool();
    const qreal markWidth = expired ? 4 + markSize : 0;
    const qreal titleWidth =
        qMin(titleMetrics.horizontalAdvance(index.data(EntryListModel::TitleRole).toString()),
             qMax<qreal>(0, available - markWidth));
    l.title = QRectF(textLeft, top, titleWidth, titleHeight);
    if (expired)
        l.expiredMark = QRectF(l.title.right() + 4, top + (titleHeight - markSize) / 2, markSize, markSize);
    const qreal used = titleWidth + markWidth + 4;
    const qreal modifiedWidth = qMax<qreal>(0, available - used);
    l.modified = QRectF(textRight - modifiedWidth, top, modifiedWidth, titleHeight);
    l.subtitle = QRectF(textLeft, top + titleHeight + 1, available, subtitleMetrics.height());
    return l;
}

std::optional<EntryRowDelegate::Button> EntryRowDelegate::buttonAt(const QRect& rowRect, const QPoint& pos) {
    const Layout l = layout(rowRect, QModelIndex());
    for (std::size_t i = 0; i < l.buttons.size(); ++i)
        if (l.buttons[i].contains(pos)) return buttons[i];
    return std::nullopt;
}

bool EntryRowDelegate::isEnabled(Button button, const QModelIndex& index) {
    switch (button) {
        case Button::username:
            return index.data(EntryListModel::CanCopyUsernameRole).toBool();
        case Button::password:
            return true;
        case Button::autoType:
            return index.data(EntryListModel::AutoTypeEnabledRole).toBool();
    }
    return false;
}

QString EntryRowDelegate::symbol(Button button) {
    switch (button) {
        case Button::username:
            return QStringLiteral("person");
        case Button::password:
            return QStringLiteral("key");
        case Button::autoType:
            return QStringLiteral("keyboard");
    }
    return {};
}

QColor EntryRowDelegate::tint(Button button) {
    switch (button) {
        case Button::username:
            return Palette::info;
        case Button::password:
            return Palette::warn;
        case Button::autoType:
            return Palette::success;
    }
    return Palette::textSoft;
}

QString EntryRowDelegate::tooltip(Button button) {
    switch (button) {
        case Button::username:
            return QStringLiteral("Kullanıcı adını kopyala");
        case Button::password:
            return QStringLiteral("Parolayı kopyala");
        case Button::autoType:
            return QStringLiteral("Otomatik yaz");
    }
    return {};
}

QSize EntryRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width() > 0 ? option.rect.width() : 320, rowHeight());
}

void EntryRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QPainter& p = *painter;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const Layout l = layout(option.rect, index);
    const int row = index.row();
    const QString id = index.data(EntryListModel::IdRole).toString();
    const qreal selected = selection_.follow(id, index.data(EntryListModel::SelectedRole).toBool() ? 1 : 0);
    const qreal hovering = hover_.follow(id, interaction_.hoveredRow == row ? 1 : 0);

    const QColor hoverFill = Painting::blend(withOpacity(Palette::hover, 0), Palette::hover, hovering);
    Painting::fill(p, l.background, Radius::control,
                   Painting::blend(hoverFill, Palette::selection, selected));
    if (selected > 0) {
        // The selection bar sits in the left margin, just outside the fill.
        const QRectF bar(l.background.left() - 4, l.background.center().y() - 10, 2.5, 20);
        Painting::fill(p, bar, Radius::pill, withOpacity(Palette::accent, selected));
    }

    IconTile::paint(p, l.tile, index.data(EntryListModel::IconIDRole).toLongLong());

    const bool hasTitle = index.data(EntryListModel::HasTitleRole).toBool();
    p.setFont(titleFont());
    p.setPen(hasTitle ? Palette::text : Palette::textMuted);
    const QString title = index.data(EntryListModel::TitleRole).toString();
    p.drawText(l.title, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               QFontMetricsF(titleFont()).elidedText(title, Qt::ElideRight, l.title.width()));
    if (l.expiredMark)
        Icons::paint(p, *l.expiredMark, QStringLiteral("clock.badge.exclamationmark.fill"), Palette::warn);

    if (l.modified.width() > 0) {
        p.setFont(modifiedFont());
        p.setPen(Palette::textMuted);
        p.drawText(l.modified, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                   QFontMetricsF(modifiedFont())
                       .elidedText(modifiedText(index), Qt::ElideRight, l.modified.width()));
    }

    p.setFont(subtitleFont());
    p.setPen(Palette::textMuted);
    p.drawText(l.subtitle, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               QFontMetricsF(subtitleFont())
                   .elidedText(index.data(EntryListModel::SubtitleRole).toString(), Qt::ElideMiddle,
                               l.subtitle.width()));

    if (hovering > 0) paintButtons(p, l, index, hovering);

    if (interaction_.dropRow == row) {
        const QRectF marker(l.background.left(), l.background.top() - 1, l.background.width(), 2);
        Painting::fill(p, marker, Radius::pill, Palette::accent);
    }
    // The row the list's keys act on, while the list has the keyboard, selected or not.
    if (option.state & QStyle::State_HasFocus) Painting::focusRing(p, l.background, Radius::control, 1);
    p.restore();
}

void EntryRowDelegate::paintButtons(QPainter& p, const Layout& l, const QModelIndex& index,
                                    qreal shown) const {
    const int row = index.row();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const Button button = buttons[i];
        const bool enabled = isEnabled(button, index);
        const bool pressed = interaction_.pressedRow == row && interaction_.pressedButton == button;
        const bool active = enabled && interaction_.hoveredButton == button;
        // The icon button's look: dimmed while disabled or held, the tint on a faint square
        // under the pointer.
        p.setOpacity(shown * (!enabled ? 0.35 : pressed ? 0.6 : 1.0));
        const QColor tintColor = tint(button);
        if (active) Painting::fill(p, l.buttons[i], Radius::control, withOpacity(tintColor, 0.16));
        const qreal glyph = buttonSize * 0.44;
        const QPointF c = l.buttons[i].center();
        Icons::paint(p, QRectF(c.x() - glyph / 2, c.y() - glyph / 2, glyph, glyph), symbol(button),
                     active ? tintColor : Palette::textSoft);
    }
    p.setOpacity(1.0);
}
