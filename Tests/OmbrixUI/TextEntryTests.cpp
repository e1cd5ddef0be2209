#include <gtest/gtest.h>
#include <QApplication>

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "OmbrixTheme/AppButton.h"
#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/FieldLabel.h"
#include "OmbrixUI/FieldRow.h"
#include "OmbrixUI/FlowRow.h"
#include "OmbrixUI/FormField.h"
#include "OmbrixUI/NotesEditor.h"
#include "OmbrixUI/SearchField.h"
#include "OmbrixUI/SecretField.h"
#include "OmbrixUI/SelectableText.h"
#include "OmbrixUI/SymbolView.h"
#include "Support/MenuKeys.h"
#include "Support/WidgetProbe.h"

namespace {

// An active window holding `field` below another focusable line edit.
struct Window {
    QWidget widget;
    QLineEdit* other = new QLineEdit;

    explicit Window(QWidget* field, int width = 320) {
        auto* layout = new QVBoxLayout(&widget);
        layout->addWidget(other);
        layout->addWidget(field);
        layout->addStretch();
        widget.resize(width, 200);
        widget.show();
        QApplication::setActiveWindow(&widget);
        other->setFocus();
        QApplication::processEvents();
    }
};

}  // namespace

TEST(SearchField, ClearButtonShowsWithTextAndEmptiesItWithoutTouchingFocus) {
    auto* field = new SearchField(QStringLiteral("Ara"));
    Window window(field);
    QSignalSpy changes(field, &SearchField::textChanged);
    EXPECT_FALSE(field->clearButton()->isVisible());
    EXPECT_EQ(field->clearButton()->toolTip(), QStringLiteral("Aramayı temizle"));

    field->lineEdit()->setFocus();
    QTest::keyClicks(field->lineEdit(), QStringLiteral("g"));
    EXPECT_EQ(field->text(), QStringLiteral("g"));
    EXPECT_TRUE(field->clearButton()->isVisible());

    QTest::mouseClick(field->clearButton(), Qt::LeftButton);
    EXPECT_EQ(field->text(), QString());
    EXPECT_FALSE(field->clearButton()->isVisible());
    EXPECT_TRUE(field->lineEdit()->hasFocus());
    EXPECT_EQ(changes.count(), 2);

    // From the other field's focus the button leaves that focus alone as well.
    field->setText(QStringLiteral("posta"));
    window.other->setFocus();
    QTest::mouseClick(field->clearButton(), Qt::LeftButton);
    EXPECT_EQ(field->text(), QString());
    EXPECT_TRUE(window.other->hasFocus());
}

TEST(SearchField, EscapeEmptiesFirstThenGivesUpTheFocus) {
    struct Case {
        QString text;
        QString textAfter;
        bool focusedAfter;
        const char* note;
    };
    const Case cases[] = {
        {QStringLiteral("banka"), QString(), true, "with text: cleared, focus kept"},
        {QString(), QString(), false, "empty: focus given up"},
    };
    for (const Case& c : cases) {
        auto* field = new SearchField(QStringLiteral("Ara"));
        Window window(field);
        int windowEscapes = 0;
        auto* shortcut = new QShortcut(QKeySequence(Qt::Key_Escape), &window.widget);
        QObject::connect(shortcut, &QShortcut::activated, [&windowEscapes] { ++windowEscapes; });
        field->setText(c.text);
        field->lineEdit()->setFocus();
        QTest::keyClick(field->lineEdit(), Qt::Key_Escape);
        EXPECT_EQ(field->text(), c.textAfter) << c.note;
        EXPECT_EQ(field->lineEdit()->hasFocus(), c.focusedAfter) << c.note;
        EXPECT_EQ(field->isFocused(), c.focusedAfter) << c.note;
        EXPECT_EQ(windowEscapes, 0) << c.note;
    }
}

TEST(SearchField, TwoEscapesClearAndLeave) {
    auto* field = new SearchField(QStringLiteral("Ara"));
    Window window(field);
    field->lineEdit()->setFocus();
    QTest::keyClicks(field->lineEdit(), QStringLiteral("abc"));
    QTest::keyClick(field->lineEdit(), Qt::Key_Escape);
    EXPECT_TRUE(field->lineEdit()->hasFocus());
    QTest::keyClick(field->lineEdit(), Qt::Key_Escape);
    EXPECT_FALSE(field->lineEdit()->hasFocus());
    EXPECT_EQ(field->text(), QString());
}

TEST(SearchField, OnlyAChangedFocusTokenTakesTheFocus) {
    auto* field = new SearchField(QStringLiteral("Ara"), 3);
    Window window(field);
    EXPECT_EQ(field->magnifier()->color(), Palette::textMuted);

    field->setFocusToken(3);
    EXPECT_TRUE(window.other->hasFocus());
    field->setFocusToken(4);
    EXPECT_TRUE(field->lineEdit()->hasFocus());
    EXPECT_EQ(field->magnifier()->color(), Palette::accent);
    field->setFocusToken(5);  // already focused: stays so
    EXPECT_TRUE(field->lineEdit()->hasFocus());
    window.other->setFocus();
    EXPECT_EQ(field->magnifier()->color(), Palette::textMuted);
    field->setProperty("focusToken", -1);  // the value means nothing, only the change
    EXPECT_TRUE(field->lineEdit()->hasFocus());
}

TEST(SearchField, ReturnSubmitsOncePerPress) {
    auto* field = new SearchField(QStringLiteral("Ara"));
    Window window(field);
    QSignalSpy submits(field, &SearchField::submitted);
    field->lineEdit()->setFocus();
    QTest::keyClick(field->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(submits.count(), 1);
    QTest::keyClick(field->lineEdit(), Qt::Key_Enter);
    EXPECT_EQ(submits.count(), 2);
}

TEST(SecretField, RevealFlipsLookButKeepsTextAndFocus) {
    auto* field = new SecretField(QStringLiteral("Parola"));
    Window window(field);
    QSignalSpy reveals(field, &SecretField::revealedChanged);
    field->lineEdit()->setFocus();
    QTest::keyClicks(field->lineEdit(), QStringLiteral("gizli-1"));

    struct Look {
        bool revealed;
        QLineEdit::EchoMode echo;
        const char* symbol;
        QColor color;
        const char* tip;
    };
    const Look looks[] = {
        {true, QLineEdit::Normal, "eye.slash", Palette::accent, "Parolayı gizle"},
        {false, QLineEdit::Password, "eye", Palette::textMuted, "Parolayı göster"},
    };
    EXPECT_EQ(field->lineEdit()->echoMode(), QLineEdit::Password);
    for (const Look& look : looks) {
        QTest::mouseClick(field->revealButton(), Qt::LeftButton);
        EXPECT_EQ(field->isRevealed(), look.revealed) << look.symbol;
        EXPECT_EQ(field->lineEdit()->echoMode(), look.echo) << look.symbol;
        EXPECT_EQ(field->revealButton()->symbol(), QString::fromLatin1(look.symbol));
        EXPECT_EQ(field->revealButton()->color(), look.color) << look.symbol;
        EXPECT_EQ(field->revealButton()->toolTip(), QString::fromUtf8(look.tip)) << look.symbol;
        EXPECT_EQ(field->text(), QStringLiteral("gizli-1")) << look.symbol;
        EXPECT_TRUE(field->lineEdit()->hasFocus()) << look.symbol;
    }
    EXPECT_EQ(reveals.count(), 2);

    // The owner's value decides how a field starts.
    SecretField shown(QStringLiteral("Parola"));
    shown.setRevealed(true);
    EXPECT_EQ(shown.lineEdit()->echoMode(), QLineEdit::Normal);
}

// The eye from the keyboard: the field's own menu (the Menu key or Shift+F10) shows and hides the
// password, and the keyboard stays in the field; the eye itself is no Tab stop between a password
// and its confirmation.
TEST(SecretField, TheFieldsMenuShowsAndHidesThePassword) {
    for (const MenuKey& key : contextMenuKeys) {
        auto* field = new SecretField(QStringLiteral("Parola"));
        Window window(field);
        field->lineEdit()->setFocus();
        QTest::keyClicks(field->lineEdit(), QStringLiteral("gizli-1"));
        for (const char* item : {"Parolayı göster", "Parolayı gizle"}) {
            bool chosen = false;
            QTimer::singleShot(0, [&] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                ASSERT_NE(menu, nullptr) << key.note;
                QTest::keyClick(menu, Qt::Key_Down);
                ASSERT_NE(menu->activeAction(), nullptr) << key.note;
                EXPECT_EQ(menu->activeAction()->text(), QString::fromUtf8(item)) << key.note;
                QTest::keyClick(menu, Qt::Key_Return);
                chosen = true;
            });
            QTest::sendKeyEvent(QTest::Click, field->lineEdit(), key.key, QString(), key.modifiers);
            QApplication::processEvents();
            EXPECT_TRUE(chosen) << key.note << ": no menu";
            EXPECT_EQ(field->isRevealed(), std::string(item) == "Parolayı göster") << key.note << " " << item;
            EXPECT_EQ(field->text(), QStringLiteral("gizli-1")) << key.note;
            EXPECT_EQ(window.widget.focusWidget(), field->lineEdit()) << key.note;
        }
    }
}

TEST(SecretField, ReturnSubmitsInBothModes) {
    auto* field = new SecretField(QStringLiteral("Parola"), true);
    Window window(field);
    QSignalSpy submits(field, &SecretField::submitted);
    field->lineEdit()->setFocus();
    QTest::keyClick(field->lineEdit(), Qt::Key_Return);
    field->setRevealed(true);
    QTest::keyClick(field->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(submits.count(), 2);
}

TEST(SecretField, MonospacedTextSizedByVariant) {
    struct Case {
        bool large;
        int pixels;
        int height;
    };
    for (const Case& c : {Case{false, 12, 30}, Case{true, 14, 38}}) {
        auto* field = new SecretField(QStringLiteral("Parola"), c.large);
        Window window(field);
        EXPECT_EQ(field->lineEdit()->font().pixelSize(), c.pixels) << c.large;
        EXPECT_TRUE(probe::monospaced(field->lineEdit()->font())) << c.large;
        EXPECT_EQ(field->height(), c.height) << c.large;
    }
}

TEST(FormField, HintLineOnlyWhenGiven) {
    auto* bare = new FormField(QStringLiteral("Başlık"), std::nullopt, new QLineEdit);
    auto* hinted =
        new FormField(QStringLiteral("Etiketler"), QStringLiteral("Virgülle ayır."), new QLineEdit);
    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    layout->addWidget(bare);
    layout->addWidget(hinted);
    layout->addStretch();
    host.resize(300, 300);
    host.show();
    QApplication::processEvents();

    EXPECT_EQ(bare->hint(), std::nullopt);
    EXPECT_FALSE(bare->hintLabel()->isVisible());
    EXPECT_EQ(bare->height(), bare->content()->geometry().bottom() + 1);
    EXPECT_EQ(bare->content()->geometry().top(), bare->label()->geometry().bottom() + 1 + 6);
    EXPECT_EQ(bare->content()->width(), bare->width());

    EXPECT_EQ(hinted->hint(), QStringLiteral("Virgülle ayır."));
    EXPECT_TRUE(hinted->hintLabel()->isVisible());
    EXPECT_EQ(hinted->hintLabel()->geometry().top(), hinted->content()->geometry().bottom() + 1 + 6);

    hinted->setHint(std::nullopt);
    QApplication::processEvents();
    EXPECT_FALSE(hinted->hintLabel()->isVisible());
}

TEST(NotesEditor, StoredTextComesBackUnchangedAndEditsKeepTheirCharacters) {
    struct Case {
        QString stored;
        QString afterTypingX;
        const char* note;
    };
    const QChar nbsp(0x00A0);
    const Case cases[] = {
        {QStringLiteral("a\r\nb"), QStringLiteral("a\nbX"), "CR LF"},
        {QStringLiteral("a\rb"), QStringLiteral("a\nbX"), "lone CR"},
        {QStringLiteral("a") + QChar(0x2028) + QStringLiteral("b"), QStringLiteral("a\nbX"), "U+2028"},
        {QStringLiteral("IBAN") + nbsp + QStringLiteral("TR12\n"), QStringLiteral("IBAN") + nbsp + "TR12\nX",
         "no-break space"},
        {QString(), QStringLiteral("X"), "empty"},
    };
    for (const Case& c : cases) {
        NotesEditor editor(80);
        editor.setText(c.stored);
        EXPECT_EQ(editor.text(), c.stored) << c.note;
        editor.textEdit()->moveCursor(QTextCursor::End);
        QTest::keyClicks(editor.textEdit(), QStringLiteral("X"));
        EXPECT_EQ(editor.text(), c.afterTypingX) << c.note;
        QTest::keyClick(editor.textEdit(), Qt::Key_Backspace);
        EXPECT_EQ(editor.text(), c.stored) << c.note << ": undone by hand";
    }

    // Shift+Return starts a new line like Return.
    NotesEditor editor(80);
    QTest::keyClicks(editor.textEdit(), QStringLiteral("a"));
    QTest::keyClick(editor.textEdit(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(editor.textEdit(), QStringLiteral("b"));
    EXPECT_EQ(editor.text(), QStringLiteral("a\nb"));
}

TEST(FieldRow, EmptyValueShowsThePlaceholderMuted) {
    struct Case {
        QString value;
        QString shown;
        QColor color;
        const char* note;
    };
    const Case cases[] = {
        {QString(), QStringLiteral("—"), Palette::textMuted, "empty shows the placeholder"},
        {QStringLiteral(" "), QStringLiteral(" "), Palette::info, "one blank is a value"},
        {QStringLiteral("ayse@example.com"), QStringLiteral("ayse@example.com"), Palette::info, "value"},
    };
    for (const Case& c : cases) {
        FieldRow row(QStringLiteral("Kullanıcı adı"), c.value, true, Palette::info, QStringLiteral("—"));
        EXPECT_EQ(row.valueText()->text(), c.shown) << c.note;
        EXPECT_EQ(row.valueText()->color(), c.color) << c.note;
        EXPECT_TRUE(probe::monospaced(row.valueText()->font())) << c.note;
        EXPECT_EQ(row.valueText()->font().pixelSize(), 13) << c.note;
        EXPECT_EQ(row.value(), c.value) << c.note;
    }
}

TEST(FieldRow, ButtonsFollowTheCaptionAndWrapUnderIt) {
    auto* open = new AppButton(QStringLiteral("Aç"), ButtonVariant::ghost);
    auto* copy = new AppButton(QStringLiteral("Kopyala"), ButtonVariant::ghost);
    open->setSmall(true);
    copy->setSmall(true);
    const QString address =
        QStringLiteral("https://") + QString(90, QLatin1Char('a')) + QStringLiteral(".example");
    auto* row = new FieldRow(QStringLiteral("Adres"), address, false, Palette::info, QStringLiteral("—"),
                             {open, copy});
    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(row);
    layout->addStretch();
    host.resize(1200, 300);
    host.show();
    QApplication::processEvents();

    EXPECT_EQ(row->label()->height(), 24);
    EXPECT_EQ(open->geometry().top(), 0);
    EXPECT_EQ(open->geometry().left(), row->label()->geometry().right() + 1 + 4);
    EXPECT_EQ(copy->geometry().left(), open->geometry().right() + 1 + 4);
    const int oneLine = row->valueText()->fontMetrics().height();
    EXPECT_LT(row->valueText()->height(), 2 * oneLine + 2);

    // Narrow: the second button goes under the caption, and the address breaks inside its one
    // long word instead of running off the edge.
    host.resize(row->label()->width() + open->width() + 8, 300);
    QApplication::processEvents();
    EXPECT_EQ(copy->geometry().left(), 0);
    EXPECT_GT(copy->geometry().top(), open->geometry().top());
    EXPECT_LE(row->valueText()->geometry().right(), row->width() - 1);
    EXPECT_GT(row->valueText()->height(), 2 * oneLine);
    EXPECT_EQ(row->valueText()->text(), address);
}
