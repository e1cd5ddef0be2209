// Writes one PNG per component and state into <test output>/gallery/ for a person to look at,
// plus one overview sheet per component. The assertions only check that the files exist.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <functional>
#include <memory>
#include <vector>

#include "OmbrixServices/Services/ClipboardService.h"
#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/AppSwitch.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Card.h"
#include "OmbrixTheme/FieldChrome.h"
#include "OmbrixTheme/IconButton.h"
#include "OmbrixTheme/Icons.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/Badge.h"
#include "OmbrixUI/BrandDate.h"
#include "OmbrixUI/BrandMark.h"
#include "OmbrixUI/CopyButton.h"
#include "OmbrixUI/EmptyStateView.h"
#include "OmbrixUI/ErrorBanner.h"
#include "OmbrixUI/FieldLabel.h"
#include "OmbrixUI/FieldRow.h"
#include "OmbrixUI/FloppyDiskIcon.h"
#include "OmbrixUI/FlowRow.h"
#include "OmbrixUI/FormField.h"
#include "OmbrixUI/HairlineDivider.h"
#include "OmbrixUI/IconPicker.h"
#include "OmbrixUI/IconTile.h"
#include "OmbrixUI/MetaStat.h"
#include "OmbrixUI/SearchField.h"
#include "OmbrixUI/SecretField.h"
#include "OmbrixUI/SectionHeader.h"
#include "OmbrixUI/SheetScaffold.h"
#include "OmbrixUI/StrengthMeter.h"
#include "Support/Fixtures.h"
#include "Support/GalleryDir.h"
#include "Support/HandClipboard.h"
#include "Support/WidgetProbe.h"

namespace {

struct Shot {
    QString name;
    QImage image;
};

// Puts `widget` on a host of `background` with room around it, applies `state` and grabs it.
Shot shoot(const QString& name, QWidget* widget, const QColor& background, int width = 0,
           const std::function<void(QWidget&)>& state = {}) {
    auto host = std::make_unique<QWidget>();
    host->setAutoFillBackground(true);
    QPalette pal = host->palette();
    pal.setColor(QPalette::Window, background);
    host->setPalette(pal);
    auto* layout = new QVBoxLayout(host.get());
    layout->setContentsMargins(24, 20, 24, 28);
    layout->addWidget(widget);
    host->adjustSize();
    if (width > 0)
        host->resize(width, host->heightForWidth(width) > 0 ? host->heightForWidth(width) : host->height());
    host->show();
    QApplication::setActiveWindow(host.get());
    QApplication::processEvents();
    if (state) state(*widget);
    QApplication::processEvents();
    Shot shot{name, host->grab().toImage()};
    shot.image.save(galleryDir() + "/" + name + ".png");
    return shot;
}

// One sheet per component: every state with its name above it.
void writeSheet(const QString& name, const std::vector<Shot>& shots) {
    const QFont captionFont = BrandFont::label();
    int width = 0, height = 0;
    for (const Shot& s : shots) {
        width = qMax(width, s.image.width());
        height += s.image.height() + 18;
    }
    QImage sheet(width, height, QImage::Format_ARGB32);
    sheet.fill(Palette::surface);
    QPainter p(&sheet);
    p.setFont(captionFont);
    int y = 0;
    for (const Shot& s : shots) {
        p.setPen(Palette::textMuted);
        p.drawText(QRect(8, y, width - 16, 18), Qt::AlignVCenter | Qt::AlignLeft, s.name);
        y += 18;
        p.drawImage(0, y, s.image);
        y += s.image.height();
    }
    p.end();
    sheet.save(galleryDir() + "/sheet-" + name + ".png");
}

void hover(QWidget& w) {
    probe::hoverIn(w);
}
void press(QWidget& w) {
    static_cast<QAbstractButton&>(w).setDown(true);
}
void disableHovered(QWidget& w) {
    w.setEnabled(false);
    probe::hoverIn(w);
}
// As if tabbed to: activation may already have focused the widget without the keyboard.
void focus(QWidget& w) {
    w.clearFocus();
    w.setFocus(Qt::TabFocusReason);
}

void unfocus(QWidget& w) {
    if (QWidget* f = QApplication::focusWidget()) f->clearFocus();
    w.clearFocus();
}

struct VariantCase {
    const char* name;
    ButtonVariant variant;
};

const VariantCase variants[] = {
    {"primary", ButtonVariant::primary},
    {"secondary", ButtonVariant::secondary},
    {"ghost", ButtonVariant::ghost},
    {"danger", ButtonVariant::danger},
    {"tinted-success", ButtonVariant::tinted(Palette::success)},
};

}  // namespace

TEST(Gallery, Buttons) {
    std::vector<Shot> shots;
    const std::pair<const char*, std::function<void(QWidget&)>> states[] = {
        {"rest", {}}, {"hover", hover}, {"pressed", press}, {"disabled", disableHovered}, {"focus", focus}};
    for (const VariantCase& v : variants) {
        for (const auto& [stateName, state] : states) {
            auto* b = new AppButton(QStringLiteral("Kaydet ve kapat"), v.variant);
            shots.push_back(
                shoot(QStringLiteral("button-%1-%2").arg(v.name, stateName), b, Palette::surface, 0, state));
        }
    }
    auto* small = new AppButton(QStringLiteral("Küçük düğme"), ButtonVariant::secondary);
    small->setSmall(true);
    shots.push_back(shoot("button-secondary-small", small, Palette::surface));
    auto* wide = new AppButton(QStringLiteral("Veritabanı aç…"), ButtonVariant::primary);
    wide->setWide(true);
    shots.push_back(shoot("button-primary-wide", wide, Palette::surface, 360));
    auto* symbol = new AppButton(QStringLiteral("Otomatik yaz"), ButtonVariant::tinted(Palette::success));
    symbol->setSymbol(QStringLiteral("keyboard"));
    shots.push_back(shoot("button-tinted-symbol", symbol, Palette::surface));
    auto* copied = new AppButton(QStringLiteral("Kopyalandı"), ButtonVariant::tinted(Palette::success));
    copied->setSymbol(QStringLiteral("checkmark"));
    copied->setSmall(true);
    shots.push_back(shoot("button-tinted-small-symbol", copied, Palette::surface));
    writeSheet("buttons", shots);
    EXPECT_TRUE(QFile::exists(galleryDir() + "/button-primary-hover.png"));
}

TEST(Gallery, IconButtons) {
    std::vector<Shot> shots;
    const std::pair<const char*, std::function<void(QWidget&)>> states[] = {{"rest", {}},
                                                                            {"hover", hover},
                                                                            {"pressed",
                                                                             [](QWidget& w) {
                                                                                 hover(w);
                                                                                 press(w);
                                                                             }},
                                                                            {"disabled", disableHovered},
                                                                            {"focus", focus}};
    for (const auto& [stateName, state] : states) {
        auto* b = new IconButton(QStringLiteral("plus"), Palette::accent, 28);
        shots.push_back(
            shoot(QStringLiteral("iconbutton-plus28-%1").arg(stateName), b, Palette::surface, 0, state));
    }
    auto* trash = new IconButton(QStringLiteral("trash"), Palette::danger, 26);
    shots.push_back(shoot("iconbutton-trash26-hover", trash, Palette::surface, 0, hover));
    auto* eye = new IconButton(QStringLiteral("eye"), Palette::accent, 24);
    shots.push_back(shoot("iconbutton-eye24-rest", eye, Palette::canvas));
    auto* folder = new IconButton(QStringLiteral("folder"), Palette::warn, 30);
    shots.push_back(shoot("iconbutton-folder30-hover", folder, Palette::surface, 0, hover));
    writeSheet("iconbuttons", shots);
    EXPECT_TRUE(QFile::exists(galleryDir() + "/iconbutton-plus28-hover.png"));
}

TEST(Gallery, Fields) {
    std::vector<Shot> shots;
    const std::pair<const char*, AppTextFieldStyle> styles[] = {{"app", AppTextFieldStyle::app},
                                                                {"appLarge", AppTextFieldStyle::appLarge},
                                                                {"appMono", AppTextFieldStyle::appMono}};
    for (const auto& [styleName, style] : styles) {
        for (bool focused : {false, true}) {
            auto* f = new AppTextField(style);
            f->lineEdit()->setText(style.mono ? QStringLiteral("{USERNAME}{TAB}{PASSWORD}{ENTER}")
                                              : QStringLiteral("Şirket e-postası — İğdır"));
            shots.push_back(shoot(QStringLiteral("field-%1-%2").arg(styleName, focused ? "focused" : "rest"),
                                  f, Palette::surface, 360, focused ? focus : unfocus));
        }
    }
    auto* empty = new AppTextField(AppTextFieldStyle::app);
    empty->lineEdit()->setPlaceholderText(QStringLiteral("Başlık"));
    shots.push_back(shoot("field-app-placeholder", empty, Palette::surface, 360, unfocus));

    // A composite control in the frame: magnifier, line edit, clear button.
    auto* chrome = new FieldChrome(false);
    auto* glass = new QLabel;
    glass->setPixmap(Icons::pixmap(QStringLiteral("magnifyingglass"), 13, Palette::textMuted));
    auto* edit = new QLineEdit;
    FieldChrome::prepareLineEdit(edit);
    edit->setFont(BrandFont::bodyText());
    edit->setPlaceholderText(QStringLiteral("Ara"));
    chrome->contentLayout()->setSpacing(8);
    chrome->contentLayout()->addWidget(glass);
    chrome->contentLayout()->addWidget(edit);
    chrome->contentLayout()->addWidget(
        new IconButton(QStringLiteral("xmark.circle.fill"), Palette::textMuted, 20));
    chrome->setFocused(true);
    shots.push_back(shoot("fieldchrome-search-focused", chrome, Palette::surface, 360));
    writeSheet("fields", shots);
    EXPECT_TRUE(QFile::exists(galleryDir() + "/field-app-focused.png"));
}

TEST(Gallery, Switches) {
    std::vector<Shot> shots;
    const std::pair<const char*, std::function<void(QWidget&)>> states[] = {
        {"off", {}},
        {"on", [](QWidget& w) { static_cast<AppSwitch&>(w).setChecked(true); }},
        {"off-hover", hover},
        {"on-disabled-hover",
         [](QWidget& w) {
             static_cast<AppSwitch&>(w).setChecked(true);
             disableHovered(w);
         }},
        {"focus", focus}};
    for (const auto& [stateName, state] : states) {
        auto* s = new AppSwitch(QStringLiteral("Büyük harf  A–Z"));
        shots.push_back(shoot(QStringLiteral("switch-%1").arg(stateName), s, Palette::surface, 320, state));
    }
    auto* twoLines =
        new AppSwitch(QStringLiteral("Benzer görünen karakterleri (0 O, 1 l I) parolaya hiç koyma"));
    shots.push_back(shoot("switch-two-lines", twoLines, Palette::surface, 260));
    writeSheet("switches", shots);
    EXPECT_TRUE(QFile::exists(galleryDir() + "/switch-on.png"));
}

TEST(Gallery, Surfaces) {
    std::vector<Shot> shots;
    auto* card = new Card(Palette::elevated, Radius::card, Palette::line, Metric::l);
    auto* title = new QLabel(QStringLiteral("Kimlik bilgileri"));
    title->setFont(BrandFont::sectionTitle());
    card->contentLayout()->addWidget(title);
    auto* body = new QLabel(QStringLiteral("Kullanıcı adı ve parola bu kartta durur."));
    body->setFont(BrandFont::secondary());
    card->contentLayout()->addWidget(body);
    shots.push_back(shoot("card-padded", card, Palette::surface, 420));

    auto* bare = new Card(Palette::elevated, Radius::card, Palette::line);
    bare->contentLayout()->addWidget(new QLabel(QStringLiteral("Dolgusuz kart")));
    shots.push_back(shoot("card-no-padding", bare, Palette::surface, 420));

    auto* panel = new Panel(Palette::surface, Metric::xl);
    auto* heading = new QLabel(QStringLiteral("Kasanın kilidini aç"));
    heading->setFont(BrandFont::screenTitle());
    panel->contentLayout()->addWidget(heading);
    panel->contentLayout()->addSpacing(12);
    auto* pw = new AppTextField(AppTextFieldStyle::appLarge);
    pw->lineEdit()->setPlaceholderText(QStringLiteral("Ana parola"));
    panel->contentLayout()->addWidget(pw);
    panel->contentLayout()->addSpacing(12);
    auto* unlock = new AppButton(QStringLiteral("Kilidi aç"), ButtonVariant::primary);
    unlock->setWide(true);
    panel->contentLayout()->addWidget(unlock);
    shots.push_back(shoot("panel", panel, Palette::canvas, 460));
    writeSheet("surfaces", shots);
    EXPECT_TRUE(QFile::exists(galleryDir() + "/panel.png"));
}

TEST(Gallery, TypeAndIcons) {
    std::vector<Shot> shots;
    auto* type = new QWidget;
    auto* layout = new QVBoxLayout(type);
    const std::pair<const char*, QFont> styles[] = {{"screenTitle", BrandFont::screenTitle()},
                                                    {"sheetTitle", BrandFont::sheetTitle()},
                                                    {"sectionTitle", BrandFont::sectionTitle()},
                                                    {"rowTitle", BrandFont::rowTitle()},
                                                    {"bodyText", BrandFont::bodyText()},
                                                    {"secondary", BrandFont::secondary()},
                                                    {"label", BrandFont::label()},
                                                    {"mono 12", BrandFont::mono(12, QFont::Normal)}};
    for (const auto& [name, font] : styles) {
        auto* l = new QLabel(QStringLiteral("%1 — Şifreli kasa: ğ ş ı İ ç ö ü Ğ Ş Ç Ö Ü").arg(name));
        l->setFont(font);
        layout->addWidget(l);
    }
    shots.push_back(shoot("type-styles", type, Palette::surface, 560));

    // Every symbol of the table in a grid, idle colour above, tinted below.
    const QStringList names = Icons::symbolNames();
    const int columns = 8, cell = 96;
    const int rows = (int(names.size()) + columns - 1) / columns;
    QImage grid(columns * cell, rows * 64, QImage::Format_ARGB32);
    grid.fill(Palette::surface);
    QPainter p(&grid);
    p.setFont(BrandFont::body(9, QFont::Normal));
    const QColor tints[] = {Palette::accent, Palette::info, Palette::warn, Palette::success,
                            Palette::textSoft};
    for (int i = 0; i < names.size(); ++i) {
        const QRectF box((i % columns) * cell, (i / columns) * 64, cell, 64);
        Icons::paint(p, QRectF(box.center().x() - 22, box.top() + 10, 20, 20), names[i], Palette::textSoft);
        Icons::paint(p, QRectF(box.center().x() + 2, box.top() + 10, 20, 20), names[i], tints[i % 5]);
        p.setPen(Palette::textMuted);
        p.drawText(box.adjusted(2, 34, -2, 0), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWrapAnywhere,
                   names[i]);
    }
    p.end();
    grid.save(galleryDir() + "/icons.png");

    auto* stock = new QWidget;
    auto* stockLayout = new QVBoxLayout(stock);
    auto* combo = new QComboBox;
    combo->addItems({QStringLiteral("Başlık"), QStringLiteral("Kullanıcı adı")});
    stockLayout->addWidget(combo);
    auto* check = new QCheckBox(QStringLiteral("Stok onay kutusu"));
    check->setChecked(true);
    stockLayout->addWidget(check);
    auto* bar = new QScrollBar(Qt::Horizontal);
    bar->setRange(0, 100);
    bar->setValue(30);
    stockLayout->addWidget(bar);
    auto* stockEdit = new QLineEdit(QStringLiteral("Stok satır düzenleyici"));
    stockLayout->addWidget(stockEdit);
    shots.push_back(shoot("stock-widgets", stock, Palette::canvas, 360));

    QMenu menu;
    menu.addAction(Icons::icon(QStringLiteral("doc.on.doc"), Palette::textSoft), QStringLiteral("Kopyala"));
    menu.addAction(Icons::icon(QStringLiteral("keyboard"), Palette::textSoft),
                   QStringLiteral("Otomatik yaz"));
    menu.addSeparator();
    menu.addAction(Icons::icon(QStringLiteral("trash"), Palette::danger), QStringLiteral("Sil"))
        ->setEnabled(false);
    menu.adjustSize();
    menu.show();
    QApplication::processEvents();
    const QImage menuImage = menu.grab().toImage();
    menuImage.save(galleryDir() + "/stock-menu.png");
    shots.push_back({"stock-menu", menuImage});
    writeSheet("type-and-stock", shots);
    EXPECT_TRUE(QFile::exists(galleryDir() + "/icons.png"));
}

// ---- Shared components ----

namespace {

// A bare container of `widgets` laid out by a FlowRow of `spacing` and `lineSpacing`.
QWidget* flowOf(const QList<QWidget*>& widgets, qreal spacing, qreal lineSpacing) {
    auto* container = new QWidget;
    auto* flow = new FlowRow(spacing, lineSpacing, container);
    for (QWidget* w : widgets) flow->addWidget(w);
    return container;
}

QWidget* column(const QList<QWidget*>& widgets, int spacing) {
    auto* container = new QWidget;
    auto* layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* w : widgets) layout->addWidget(w);
    return container;
}

QWidget* row(const QList<QWidget*>& widgets, int spacing) {
    auto* container = new QWidget;
    auto* layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* w : widgets) layout->addWidget(w);
    layout->addStretch();
    return container;
}

AppButton* smallButton(const QString& text, ButtonVariant variant) {
    auto* b = new AppButton(text, variant);
    b->setSmall(true);
    return b;
}

std::chrono::sys_seconds at(int y, int mo, int d, int h, int mi) {
    return std::chrono::sys_seconds(
        std::chrono::seconds(QDateTime(QDate(y, mo, d), QTime(h, mi)).toSecsSinceEpoch()));
}

}  // namespace

TEST(Gallery, SmallMarks) {
    std::vector<Shot> shots;
    shots.push_back(shoot("fieldlabel", new FieldLabel(QStringLiteral("Kullanıcı adı"), Palette::textMuted),
                          Palette::elevated));
    shots.push_back(shoot(
        "badges",
        flowOf(
            {new Badge(QStringLiteral("KDBX 4.x"), QStringLiteral("doc.badge.gearshape"), Palette::textMuted),
             new Badge(QStringLiteral("Argon2id"), QStringLiteral("cpu"), Palette::textMuted),
             new Badge(QStringLiteral("Yerel"), QStringLiteral("externaldrive"), Palette::textMuted),
             new Badge(QStringLiteral("iş"), std::nullopt, Palette::info),
             new Badge(QStringLiteral("Özel"), std::nullopt, Palette::success),
             new Badge(QStringLiteral("anahtar.keyx"), QStringLiteral("key.horizontal"), Palette::success),
             new Badge(QStringLiteral("Süresi dolmuş"), QStringLiteral("clock.badge.exclamationmark.fill"),
                       Palette::warn)},
            4, 4),
        Palette::elevated, 300));
    shots.push_back(shoot("brandmarks", row({new BrandMark(26), new BrandMark(44), new BrandMark(88)}, 16),
                          Palette::surface));
    shots.push_back(shoot("divider",
                          column({new FieldLabel(QStringLiteral("Üstte"), Palette::textMuted),
                                  new HairlineDivider(Palette::line),
                                  new FieldLabel(QStringLiteral("Altta"), Palette::textMuted)},
                                 8),
                          Palette::surface, 320));
    auto* trailingGroup = row({new IconButton(QStringLiteral("arrow.up.arrow.down"), Palette::textSoft, 26),
                               new IconButton(QStringLiteral("plus"), Palette::accent, 26)},
                              4);
    trailingGroup->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    shots.push_back(shoot(
        "sectionheaders",
        column({new SectionHeader(QStringLiteral("Notlar")),
                new SectionHeader(QStringLiteral("Pano"),
                                  QStringLiteral("Kopyalanan gizli değerin silinme süresi")),
                new SectionHeader(QStringLiteral("Otomatik yazma"), std::nullopt,
                                  new Badge(QStringLiteral("Varsayılan"), std::nullopt, Palette::textMuted)),
                new SectionHeader(QStringLiteral("Tüm kayıtlar"), QStringLiteral("128 kayıt"), trailingGroup),
                new SectionHeader(QStringLiteral("Çok uzun bir bölüm başlığı kesilerek biter"),
                                  QStringLiteral("ve alt başlığı da tek satırda kalır, kesilir"))},
               14),
        Palette::elevated, 300));
    QList<QWidget*> presets;
    for (int n : {12, 16, 20, 32, 64})
        presets.append(smallButton(QString::number(n),
                                   n == 20 ? ButtonVariant::tinted(Palette::accent) : ButtonVariant::ghost));
    shots.push_back(shoot("flowrow-presets-narrow", flowOf(presets, 4, 4), Palette::elevated, 200));
    auto* floppies = new QWidget;
    auto* floppyRow = new QHBoxLayout(floppies);
    for (auto [size, color] : {std::pair{14.0, Palette::textSoft}, std::pair{14.0, Palette::accent},
                               std::pair{20.0, Palette::textSoft}, std::pair{32.0, Palette::text},
                               std::pair{64.0, Palette::accent}}) {
        auto* icon = new FloppyDiskIcon(size);
        QPalette pal = icon->palette();
        pal.setColor(QPalette::WindowText, color);
        icon->setPalette(pal);
        floppyRow->addWidget(icon, 0, Qt::AlignVCenter);
    }
    floppyRow->addStretch();
    shots.push_back(shoot("floppy", floppies, Palette::surface));
    writeSheet("small-marks", shots);
    EXPECT_TRUE(QFile::exists(galleryDir() + "/badges.png"));
}

TEST(Gallery, IconTiles) {
    std::vector<Shot> shots;
    QList<QWidget*> picker;
    for (int id : {0, 1, 3, 5, 6, 9, 13, 16, 19, 20, 24, 27, 29, 34, 36, 43, 60, 62})
        picker.append(new IconTile(id, 30));
    shots.push_back(shoot("icontiles-picker", flowOf(picker, 8, 8), Palette::surface, 340));
    QList<QWidget*> all;
    for (int id = -1; id <= 69; ++id) all.append(new IconTile(id, 22));
    shots.push_back(shoot("icontiles-all-22", flowOf(all, 6, 6), Palette::surface, 520));
    shots.push_back(shoot("icontiles-sizes-and-tints",
                          row({new IconTile(48, 22, Palette::accent), new IconTile(48, 22, Palette::textSoft),
                               new IconTile(1, 30), new IconTile(16, 38), new IconTile(62, 38)},
                              10),
                          Palette::surface));
    writeSheet("icontiles", shots);
    EXPECT_TRUE(QFile::exists(galleryDir() + "/icontiles-all-22.png"));
}

TEST(Gallery, DisplayComponents) {
    std::vector<Shot> shots;
    shots.push_back(shoot("emptystate-action",
                          new EmptyStateView(QStringLiteral("tray"), QStringLiteral("Bu grup boş"),
                                             QStringLiteral("Yeni bir kayıt ekleyerek başla."),
                                             QStringLiteral("Yeni kayıt"), [] {}),
                          Palette::canvas, 420));
    shots.push_back(
        shoot("emptystate-long-message",
              new EmptyStateView(QStringLiteral("lock.doc"), QStringLiteral("Henüz bir kasa yok"),
                                 QStringLiteral("Var olan bir .kdbx dosyasını aç ya da sıfırdan yeni "
                                                "bir kasa oluştur.")),
              Palette::elevated, 420));
    auto* filling =
        new EmptyStateView(QStringLiteral("square.stack.3d.up"), QStringLiteral("3 kayıt seçildi"),
                           QStringLiteral("Toplu işlemler için aşağıdaki düğmeleri ya da sağ tık "
                                          "menüsünü kullan."),
                           std::nullopt, {}, true);
    filling->setMinimumHeight(320);
    shots.push_back(shoot("emptystate-fills", filling, Palette::surface, 360));
    shots.push_back(shoot("errorbanner-dismiss",
                          new ErrorBanner(QStringLiteral("Parola ya da anahtar dosyası hatalı."), [] {}),
                          Palette::surface, 420));
    shots.push_back(
        shoot("errorbanner-long",
              new ErrorBanner(QStringLiteral("Veritabanı dosyası okunamadı: başlık bozuk ya da dosya "
                                             "bir KDBX dosyası değil. Başka bir dosya seçip yeniden dene."),
                              [] {}),
              Palette::surface, 360));
    shots.push_back(shoot("errorbanner-plain", new ErrorBanner(QStringLiteral("Dosya kaydedilemedi.")),
                          Palette::surface, 360));
    QList<QWidget*> stats{
        new MetaStat(QStringLiteral("Oluşturuldu"), brandFormatted(at(2024, 3, 1, 9, 5))),
        new MetaStat(QStringLiteral("Değiştirildi"), brandFormatted(at(2024, 8, 19, 23, 59))),
        new MetaStat(QStringLiteral("Erişildi"), brandFormatted(at(2025, 1, 2, 12, 0))),
        new MetaStat(QStringLiteral("Süre sonu"), QStringLiteral("Çok uzun bir değer tek satırda kesilir"))};
    stats.last()->setMaximumWidth(150);
    shots.push_back(shoot("metastats", flowOf(stats, 16, 8), Palette::surface, 480));
    const auto now = std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
    QStringList relatives;
    for (auto ago : {std::chrono::seconds(20), std::chrono::seconds(300), std::chrono::seconds(3 * 3600),
                     std::chrono::seconds(2 * 86400), std::chrono::seconds(15 * 86400),
                     std::chrono::seconds(70 * 86400), std::chrono::seconds(800 * 86400)})
        relatives << brandRelative(now - ago, now);
    auto* relativeLabel = new QLabel(relatives.join(QStringLiteral("  ·  ")));
    relativeLabel->setFont(BrandFont::body(10, QFont::Normal));
    shots.push_back(shoot("dates-relative", relativeLabel, Palette::surface));
    writeSheet("display", shots);
    EXPECT_TRUE(QFile::exists(galleryDir() + "/errorbanner-long.png"));
}

TEST(Gallery, TextEntry) {
    std::vector<Shot> shots;
    shots.push_back(shoot("searchfield-empty", new SearchField(QStringLiteral("Ara (Ctrl+F)")),
                          Palette::surface, 300, unfocus));
    auto* typed = new SearchField(QStringLiteral("Ara (Ctrl+F)"));
    typed->setText(QStringLiteral("banka"));
    shots.push_back(shoot("searchfield-focused-text", typed, Palette::surface, 300,
                          [](QWidget& w) { static_cast<SearchField&>(w).lineEdit()->setFocus(); }));
    auto* masked = new SecretField(QStringLiteral("Parola"));
    masked->setText(QStringLiteral("correct horse battery"));
    shots.push_back(shoot("secretfield-masked", masked, Palette::elevated, 320, unfocus));
    auto* revealed = new SecretField(QStringLiteral("Parola"));
    revealed->setText(QStringLiteral("correct horse battery"));
    revealed->setRevealed(true);
    shots.push_back(shoot("secretfield-revealed-focused", revealed, Palette::elevated, 320,
                          [](QWidget& w) { static_cast<SecretField&>(w).lineEdit()->setFocus(); }));
    shots.push_back(shoot("secretfield-large-placeholder",
                          new SecretField(QStringLiteral("Ana parolan"), true), Palette::surface, 360,
                          unfocus));
    auto* tagsEdit = new AppTextField;
    tagsEdit->lineEdit()->setPlaceholderText(QStringLiteral("iş, kritik"));
    shots.push_back(
        shoot("formfields",
              column({new FormField(QStringLiteral("Başlık"), std::nullopt, new AppTextField),
                      new FormField(QStringLiteral("Etiketler"), QStringLiteral("Virgülle ayır."), tagsEdit),
                      new FormField(QStringLiteral("Ana parola"), std::nullopt,
                                    new SecretField(QStringLiteral("Ana parolan"), true))},
                     14),
              Palette::elevated, 360, unfocus));
    shots.push_back(shoot(
        "fieldrows",
        column(
            {new FieldRow(QStringLiteral("Kullanıcı adı"), QStringLiteral("ayse.yilmaz@example.com"), true,
                          Palette::text, QStringLiteral("—"),
                          {smallButton(QStringLiteral("Kopyala"), ButtonVariant::ghost)}),
             new FieldRow(QStringLiteral("Kullanıcı adı"), QString(), true, Palette::text,
                          QStringLiteral("—")),
             new FieldRow(QStringLiteral("Adres"),
                          QStringLiteral("https://hesap.ornek-banka.com.tr/giris?yonlendir=/hesaplarim/ozet"),
                          false, Palette::info, QStringLiteral("—"),
                          {smallButton(QStringLiteral("Aç"), ButtonVariant::ghost),
                           smallButton(QStringLiteral("Kopyala"), ButtonVariant::ghost)})},
            14),
        Palette::elevated, 300));
    writeSheet("text-entry", shots);
    EXPECT_TRUE(QFile::exists(galleryDir() + "/fieldrows.png"));
}

TEST(Gallery, StrengthAndCopy) {
    std::vector<Shot> shots;
    const std::pair<const char*, const char*> passwords[] = {
        {"empty", ""},
        {"weak", "abc"},
        {"fair", "hunter22"},
        {"good", "Tr0ub4dor&3"},
        {"strong", "kR7#pX2$vL9@qM4!zT6&"},
    };
    for (const auto& [name, password] : passwords) {
        auto* meter = new StrengthMeter(false);
        meter->setPassword(QString::fromUtf8(password));
        shots.push_back(shoot(QStringLiteral("strength-%1").arg(name), meter, Palette::elevated, 340));
    }
    auto* compact = new StrengthMeter(true);
    compact->setPassword(QStringLiteral("Tr0ub4dor&3"));
    shots.push_back(shoot("strength-compact", compact, Palette::elevated, 340));
    auto* narrow = new StrengthMeter(false);
    narrow->setPassword(QStringLiteral("correct horse"));
    shots.push_back(shoot("strength-narrow", narrow, Palette::elevated, 170));

    static HandClipboard service;
    auto copyRow = [](bool pressUser, bool pressPassword) {
        auto* user = new CopyButton(
            QStringLiteral("Kullanıcı"), QStringLiteral("person"), true,
            [] { service.copySecret(QStringLiteral("ayse")); }, service);
        auto* password = new CopyButton(
            QStringLiteral("Parola"), QStringLiteral("key"), true,
            [] { service.copySecret(QStringLiteral("s3cret")); }, service);
        auto* address = new CopyButton(
            QStringLiteral("Adres"), QStringLiteral("doc.on.doc"), false,
            [] { service.copyPlain(QStringLiteral("https://example.com")); }, service);
        if (pressUser) user->click();
        if (pressPassword) password->click();
        return flowOf({user, password, address}, 4, 4);
    };
    shots.push_back(shoot("copybuttons-rest", copyRow(false, false), Palette::elevated, 360));
    shots.push_back(shoot("copybuttons-secret-counting", copyRow(false, true), Palette::elevated, 360));
    service.setClearAfter(0.2);
    shots.push_back(shoot("copybuttons-copied", copyRow(true, false), Palette::elevated, 360));
    writeSheet("strength-and-copy", shots);
    EXPECT_TRUE(QFile::exists(galleryDir() + "/copybuttons-secret-counting.png"));
}

// ---- Sheets and settings controls ----

namespace {

// A sample form as an editor would put into the sheet.
QWidget* sampleForm(int extraFields = 0) {
    auto* title = new AppTextField;
    title->lineEdit()->setText(QStringLiteral("Şirket e-postası"));
    auto* user = new AppTextField;
    user->lineEdit()->setText(QStringLiteral("ayse.yilmaz@example.com"));
    auto* head = new QWidget;
    auto* headRow = new QHBoxLayout(head);
    headRow->setContentsMargins(0, 0, 0, 0);
    headRow->setSpacing(12);
    headRow->addWidget(new IconPicker(5), 0, Qt::AlignBottom);
    headRow->addWidget(new FormField(QStringLiteral("Başlık"), std::nullopt, title), 1);
    QList<QWidget*> fields{
        head, new FormField(QStringLiteral("Kullanıcı adı"), std::nullopt, user),
        new FormField(QStringLiteral("Parola"), std::nullopt, new SecretField(QStringLiteral("Parola")))};
    for (int i = 0; i < extraFields; ++i) {
        auto* extra = new AppTextField;
        extra->lineEdit()->setPlaceholderText(QStringLiteral("Değer %1").arg(i + 1));
        fields.append(new FormField(QStringLiteral("Özel alan %1").arg(i + 1), std::nullopt, extra));
    }
    return column(fields, 14);
}

// The sheet opened over a main window, at `size`, after `state`.
Shot shootSheet(const QString& name, SheetScaffold* sheet, QWidget& mainWindow, QSize size,
                const std::function<void(SheetScaffold&)>& state = {}) {
    sheet->setParent(&mainWindow, sheet->windowFlags());
    sheet->resize(size);
    sheet->open();
    QApplication::setActiveWindow(sheet);
    if (QWidget* f = QApplication::focusWidget()) f->clearFocus();
    QApplication::processEvents();
    QTest::qWait(30);  // the scroll area follows its form a few turns later
    if (state) state(*sheet);
    QApplication::processEvents();
    Shot shot{name, sheet->grab().toImage()};
    shot.image.save(galleryDir() + "/" + name + ".png");
    sheet->done(QDialog::Accepted);
    return shot;
}

}  // namespace

TEST(Gallery, SheetScaffold) {
    QWidget mainWindow;
    mainWindow.resize(900, 700);
    mainWindow.show();
    std::vector<Shot> shots;
    auto* sheet = new SheetScaffold(QStringLiteral("Yeni kayıt"), QStringLiteral("Kişisel › Bankalar"),
                                    QStringLiteral("Kaydet"));
    sheet->setContent(sampleForm());
    shots.push_back(shootSheet("sheet-confirm-enabled", sheet, mainWindow, QSize(480, 360)));
    shots.push_back(shootSheet("sheet-confirm-disabled", sheet, mainWindow, QSize(480, 360),
                               [](SheetScaffold& s) { s.setConfirmEnabled(false); }));
    auto* bare = new SheetScaffold(QStringLiteral("Yeni grup"), std::nullopt, QStringLiteral("Oluştur"));
    bare->setContent(column({new FormField(QStringLiteral("Ad"), std::nullopt, new AppTextField)}, 14));
    shots.push_back(shootSheet("sheet-no-subtitle", bare, mainWindow, QSize(420, 220)));
    auto* tall =
        new SheetScaffold(QStringLiteral("Kaydı düzenle: Şirket e-postası ve bütün yardımcı hesapları"),
                          QStringLiteral("Çok uzun bir alt başlık da tek satırda kalır ve sonunda kesilir"),
                          QStringLiteral("Kaydet"));
    tall->setContent(sampleForm(8));
    shots.push_back(
        shootSheet("sheet-long-texts-scrolled", tall, mainWindow, QSize(360, 420), [](SheetScaffold& s) {
            s.scrollArea()->verticalScrollBar()->setValue(s.scrollArea()->verticalScrollBar()->maximum() / 2);
        }));
    writeSheet("sheets", shots);
    EXPECT_TRUE(QFile::exists(galleryDir() + "/sheet-confirm-disabled.png"));
}

TEST(Gallery, IconPicker) {
    std::vector<Shot> shots;
    shots.push_back(shoot("iconpicker-closed", new IconPicker(43), Palette::surface));
    shots.push_back(shoot("iconpicker-unoffered-48", new IconPicker(48), Palette::surface));

    // The open grid is a window of its own: drawn into the shot where it opens.
    for (std::int64_t current : {std::int64_t{43}, std::int64_t{48}}) {
        auto host = std::make_unique<QWidget>();
        host->setAutoFillBackground(true);
        QPalette pal = host->palette();
        pal.setColor(QPalette::Window, Palette::surface);
        host->setPalette(pal);
        auto* layout = new QVBoxLayout(host.get());
        // Room on the left: the grid opens centred under the button.
        layout->setContentsMargins(140, 20, 24, 20);
        auto* picker = new IconPicker(current);
        layout->addWidget(picker);
        layout->addStretch();
        host->resize(420, 230);
        host->show();
        QApplication::processEvents();
        picker->setExpanded(true);
        QApplication::processEvents();
        QImage image = host->grab().toImage();
        QPainter p(&image);
        p.drawImage(picker->popup()->pos() - host->mapToGlobal(QPoint()), picker->popup()->grab().toImage());
        p.end();
        picker->setExpanded(false);
        const QString name = QStringLiteral("iconpicker-open-%1").arg(current);
        image.save(galleryDir() + "/" + name + ".png");
        shots.push_back({name, image});
    }
    writeSheet("iconpicker", shots);
    EXPECT_TRUE(QFile::exists(galleryDir() + "/iconpicker-open-43.png"));
}
