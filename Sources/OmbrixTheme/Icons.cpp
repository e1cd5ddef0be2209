#include "OmbrixTheme/Icons.h"

#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <memory>
#include <vector>

#include "OmbrixTheme/ThemeResources.h"

namespace {

// Symbol name -> file below :/Icons (Bootstrap Icons, MIT). Each maps to the closest glyph.
struct IconEntry {
    const char* symbol;
    const char* file;
};

constexpr IconEntry iconTable[] = {
    {"antenna.radiowaves.left.and.right", "broadcast-pin"},
    {"archivebox.fill", "archive-fill"},
    {"arrow.triangle.2.circlepath", "arrow-repeat"},
    {"arrow.up.arrow.down", "arrow-down-up"},
    {"banknote.fill", "cash"},
    {"camera.fill", "camera-fill"},
    {"car.fill", "car-front-fill"},
    {"chart.bar.fill", "bar-chart-fill"},
    {"checkmark", "check-lg"},
    {"checkmark.circle.fill", "check-circle-fill"},
    {"checkmark.seal.fill", "patch-check-fill"},
    {"checkmark.shield.fill", "shield-fill-check"},
    {"chevron.right", "chevron-right"},
    {"clock.badge.exclamationmark", "alarm"},
    {"clock.badge.exclamationmark.fill", "alarm-fill"},
    {"clock.fill", "clock-fill"},
    {"command", "command"},
    {"cpu", "cpu"},
    {"creditcard.fill", "credit-card-fill"},
    {"desktopcomputer", "pc-display"},
    {"display", "display"},
    {"doc.badge.gearshape", "file-earmark-code"},
    {"doc.badge.plus", "file-earmark-plus"},
    {"doc.on.clipboard", "clipboard"},
    {"doc.on.doc", "files"},
    {"doc.text.fill", "file-earmark-text-fill"},
    {"ellipsis.circle", "three-dots"},
    {"envelope.badge.fill", "envelope-exclamation-fill"},
    {"envelope.fill", "envelope-fill"},
    {"exclamationmark.shield.fill", "shield-fill-exclamation"},
    {"exclamationmark.triangle", "exclamation-triangle"},
    {"exclamationmark.triangle.fill", "exclamation-triangle-fill"},
    {"externaldrive", "device-hdd"},
    {"externaldrive.fill", "device-hdd-fill"},
    {"eye", "eye"},
    {"eye.slash", "eye-slash"},
    {"folder", "folder"},
    {"folder.badge.plus", "folder-plus"},
    {"folder.fill", "folder-fill"},
    {"folder.fill.badge.plus", "folder-plus"},
    {"gearshape.fill", "gear-fill"},
    {"globe", "globe"},
    {"iphone", "phone"},
    {"key", "key"},
    {"key.fill", "key-fill"},
    {"key.horizontal", "key"},
    {"keyboard", "keyboard"},
    {"list.bullet.clipboard.fill", "clipboard-data-fill"},
    {"lock", "lock"},
    {"lock.doc", "file-earmark-lock"},
    {"lock.fill", "lock-fill"},
    {"lock.open", "unlock"},
    {"magnifyingglass", "search"},
    {"network", "diagram-3-fill"},
    {"note.text", "journal-text"},
    {"pencil", "pencil"},
    {"person", "person"},
    {"person.2.fill", "people-fill"},
    {"person.crop.circle.fill", "person-circle"},
    {"plus", "plus-lg"},
    {"printer.fill", "printer-fill"},
    {"questionmark.folder", "folder-x"},
    {"record.circle.fill", "record-circle-fill"},
    {"server.rack", "hdd-rack"},
    {"shield.lefthalf.filled", "shield-shaded"},
    {"shippingbox.fill", "box-seam-fill"},
    {"square.righthalf.filled", "layout-sidebar-inset-reverse"},
    {"square.stack.3d.up", "stack"},
    {"star.fill", "star-fill"},
    {"terminal.fill", "terminal-fill"},
    {"tray", "inbox"},
    {"trash", "trash"},
    {"wifi", "wifi"},
    {"wrench.and.screwdriver.fill", "tools"},
    {"xmark", "x-lg"},
    {"xmark.circle.fill", "x-circle-fill"},
};

// Drawn for names the table does not know: a plain rounded square, neutral in meaning.
constexpr const char* placeholderFile = "app";

const QHash<QString, QString>& table() {
    static const QHash<QString, QString> map = [] {
        QHash<QString, QString> m;
        for (const IconEntry& e : iconTable)
            m.insert(QString::fromLatin1(e.symbol), QString::fromLatin1(e.file));
        return m;
    }();
    return map;
}

// Renderers are parsed once per file; the interface only draws on the main thread.
QSvgRenderer& renderer(const QString& path) {
    static QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    auto it = renderers.find(path);
    if (it == renderers.end()) {
        ensureThemeResources();
        it = renderers.insert(path, std::make_shared<QSvgRenderer>(path));
    }
    return **it;
}

// Bootstrap's glyphs are drawn for 16 px with 1 px strokes; at the 9-14 px the interface uses
// they turn faint. They are drawn four times larger, their coverage grown by one of those
// pixels (a quarter pixel per side at the final size, close to a medium-weight symbol), then
// scaled down. Growing must not fill the narrow cut-outs that carry a glyph's detail (the "!"
// of a warning, a clock's hands): those are kept open, and in solid glyphs, whose meaning is
// all in their cut-outs, widened by the same quarter pixel per side.
constexpr int supersample = 4;
// Cut-outs up to 1.5 final pixels wide count as narrow.
constexpr int gapRadius = 3 * supersample / 4;
// Room around the glyph, so that the filters below never reach the edge of the canvas.
constexpr int margin = gapRadius + 2;

// One channel of coverage (0...255) on a w × h grid, with the filters the thickening needs.
struct Coverage {
    int w, h;
    std::vector<uchar> a;

    uchar at(int x, int y) const { return a[std::size_t(y) * std::size_t(w) + std::size_t(x)]; }

    // Each pixel takes the largest (`grow`) or smallest value of the square of `radius` around
    // it; outside the grid counts as uncovered.
    Coverage filtered(int radius, bool grow) const {
        const auto pick = [grow](uchar p, uchar q) { return grow ? qMax(p, q) : qMin(p, q); };
        Coverage rows{w, h, a}, out{w, h, a};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uchar v = at(x, y);
                for (int d = -radius; d <= radius; ++d)
                    v = pick(v, x + d >= 0 && x + d < w ? at(x + d, y) : 0);
                rows.a[std::size_t(y) * std::size_t(w) + std::size_t(x)] = v;
            }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uchar v = rows.at(x, y);
                for (int d = -radius; d <= radius; ++d)
                    v = pick(v, y + d >= 0 && y + d < h ? rows.at(x, y + d) : 0);
                out.a[std::size_t(y) * std::size_t(w) + std::size_t(x)] = v;
            }
        return out;
    }
};

// The thickened coverage of `mask`'s alpha; `solid` widens the narrow cut-outs as well.
QImage emboldened(const QImage& mask, bool solid) {
    Coverage ink{mask.width(), mask.height(), {}};
    ink.a.resize(std::size_t(ink.w) * std::size_t(ink.h));
    for (int y = 0; y < ink.h; ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
        for (int x = 0; x < ink.w; ++x)
            ink.a[std::size_t(y) * std::size_t(ink.w) + std::size_t(x)] = uchar(qAlpha(in[x]));
    }
    // The narrow cut-outs: what a closing (grow, then shrink back) fills in.
    const Coverage closed = ink.filtered(gapRadius, true).filtered(gapRadius, false);
    Coverage gaps = ink;
    for (std::size_t i = 0; i < gaps.a.size(); ++i) gaps.a[i] = uchar(qMax(0, closed.a[i] - ink.a[i]));
    const Coverage grown = ink.filtered(1, true);
    const Coverage widened = gaps.filtered(1, true);

    QImage result(ink.w, ink.h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < ink.h; ++y) {
        QRgb* out = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < ink.w; ++x) {
            const std::size_t i = std::size_t(y) * std::size_t(ink.w) + std::size_t(x);
            const int base = ink.a[i];
            int v = base + (grown.a[i] - base) * (255 - gaps.a[i]) / 255;
            if (solid) v = v * (255 - widened.a[i]) / 255;
            out[x] = qRgba(v, v, v, v);
        }
    }
    return result;
}

// Glyphs drawn as filled shapes whose detail is cut out of them.
bool isSolid(const QString& path) {
    return path.endsWith(QLatin1String("-fill.svg"));
}

// The symbol tinted: drawn as a coverage mask, then every covered pixel takes the colour.
QImage tinted(const QString& symbol, QSize pixelSize, const QColor& color) {
    const QSize large = pixelSize * supersample;
    QImage mask(large + QSize(2 * margin, 2 * margin), QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    const QString path = Icons::resourcePath(symbol);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        QSvgRenderer& svg = renderer(path);
        QSizeF natural = svg.defaultSize().isEmpty() ? QSizeF(16, 16) : QSizeF(svg.defaultSize());
        natural.scale(QSizeF(large), Qt::KeepAspectRatio);
        const QRectF target(margin + (large.width() - natural.width()) / 2,
                            margin + (large.height() - natural.height()) / 2, natural.width(),
                            natural.height());
        svg.render(&p, target);
    }
    QImage image = emboldened(mask, isSolid(path))
                       .copy(QRect(QPoint(margin, margin), large))
                       .scaled(pixelSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(image.rect(), color);
    p.end();
    return image;
}

class TintedIconEngine : public QIconEngine {
  public:
    TintedIconEngine(QString symbol, QColor color) : symbol_(std::move(symbol)), color_(color) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        Icons::paint(*painter, rect, symbol_, colorFor(mode));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        const QImage image = tinted(symbol_, size * scale, colorFor(mode));
        QPixmap pm = QPixmap::fromImage(image);
        pm.setDevicePixelRatio(scale);
        return pm;
    }

    QIconEngine* clone() const override { return new TintedIconEngine(symbol_, color_); }
    QString key() const override { return QStringLiteral("OmbrixTintedIcon"); }

  private:
    // A disabled action shows its icon dimmed, as the icon buttons do.
    QColor colorFor(QIcon::Mode mode) const {
        return mode == QIcon::Disabled ? withAlpha(color_, 0.35) : color_;
    }
    static QColor withAlpha(QColor c, qreal factor) {
        c.setAlphaF(static_cast<float>(c.alphaF() * factor));
        return c;
    }

    QString symbol_;
    QColor color_;
};

}  // namespace

namespace Icons {

bool isKnown(const QString& symbol) {
    return table().contains(symbol);
}

QStringList symbolNames() {
    QStringList names = table().keys();
    names.sort();
    return names;
}

QString resourcePath(const QString& symbol) {
    const QString file = table().value(symbol, QString::fromLatin1(placeholderFile));
    return QStringLiteral(":/Icons/%1.svg").arg(file);
}

QPixmap pixmap(const QString& symbol, qreal size, const QColor& color, qreal devicePixelRatio) {
    const int pixels = qMax(1, qRound(size * devicePixelRatio));
    const QString key =
        QStringLiteral("ombrix-icon/%1/%2/%3").arg(symbol).arg(pixels).arg(color.rgba(), 8, 16);
    QPixmap pm;
    if (!QPixmapCache::find(key, &pm)) {
        pm = QPixmap::fromImage(tinted(symbol, QSize(pixels, pixels), color));
        QPixmapCache::insert(key, pm);
    }
    pm.setDevicePixelRatio(devicePixelRatio);
    return pm;
}

QIcon icon(const QString& symbol, const QColor& color) {
    return QIcon(new TintedIconEngine(symbol, color));
}

void paint(QPainter& painter, const QRectF& rect, const QString& symbol, const QColor& color) {
    const qreal side = qMin(rect.width(), rect.height());
    if (side <= 0) return;
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPixmap pm = pixmap(symbol, side, color, dpr);
    const QSizeF drawn(pm.width() / dpr, pm.height() / dpr);
    // Whole device pixels keep the glyph's edges crisp.
    const QPointF topLeft(qRound((rect.center().x() - drawn.width() / 2) * dpr) / dpr,
                          qRound((rect.center().y() - drawn.height() / 2) * dpr) / dpr);
    painter.drawPixmap(QRectF(topLeft, drawn), pm, QRectF(pm.rect()));
}

}  // namespace Icons
