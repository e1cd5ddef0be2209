#include "OmbrixUI/HotKeyRecorder.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>

#include "OmbrixTheme/BrandFont.h"
#include "OmbrixTheme/KeyboardFocus.h"
#include "OmbrixTheme/Metrics.h"
#include "OmbrixTheme/Motion.h"
#include "OmbrixTheme/Painting.h"
#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/ElidedLabel.h"
#include "OmbrixUI/HotKeyFormatter.h"
#include "OmbrixUI/SymbolView.h"

namespace {

constexpr int boxHeight = 38;

// Keys that only modify others. X11 reports their presses, which must not count as keys.
bool isModifierKey(int key) {
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Meta:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case Qt::Key_Mode_switch:
            return true;
        default:
            return false;
    }
}

ElidedLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr) {
    auto* l = new ElidedLabel(text, parent);
    l->setFont(font);
    l->setColor(color);
    l->setAttribute(Qt::WA_TransparentForMouseEvents);
    return l;
}

}  // namespace

HotKeyRecorder::HotKeyRecorder(std::uint32_t keyCode, std::uint32_t modifiers, QWidget* parent)
    : QAbstractButton(parent),
      keyCode_(keyCode),
      modifiers_(modifiers),
      symbol_(new SymbolView(QString(), 12, Palette::text)),
      text_(label(QString(), BrandFont::body(14, QFont::DemiBold), Palette::text)),
      hint_(label(QStringLiteral("esc ile vazgeç"), BrandFont::body(10, QFont::Normal), Palette::textMuted)),
      rejection_(label(QStringLiteral("En az bir değiştirici tuş gerekli"),
                       BrandFont::body(10, QFont::Medium), Palette::danger, this)),
      ring_(new MotionValue(0, this)),
      keyboard_(new KeyboardFocus(this, [this] { updateLook(); })) {
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 0, 12, 0);
    row->setSpacing(8);
    row->addWidget(symbol_, 0, Qt::AlignVCenter);
    row->addWidget(text_, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(hint_, 0, Qt::AlignVCenter);
    rejection_->hide();
    connect(this, &QAbstractButton::clicked, this, [this] { setRecording(!recording_); });
    updateLook();
}

HotKeyRecorder::~HotKeyRecorder() {
    qApp->removeEventFilter(this);
    // The message lives in the parent once there is one.
    if (rejection_ && rejection_->parent() != this) delete rejection_;
}

void HotKeyRecorder::setHotKey(std::uint32_t keyCode, std::uint32_t modifiers) {
    keyCode_ = keyCode;
    modifiers_ = modifiers;
    updateLook();
}

void HotKeyRecorder::setConflictText(const QString& text) {
    if (text == conflict_) return;
    conflict_ = text;
    updateLook();
}

void HotKeyRecorder::setRecording(bool recording) {
    if (recording == recording_) return;
    recording_ = recording;
    if (recording_) {
        rejected_ = false;
        // Application-wide, so that no shortcut and no text field sees the keys meanwhile.
        qApp->installEventFilter(this);
    } else {
        qApp->removeEventFilter(this);
    }
    updateLook();
    emit recordingChanged(recording_);
}

QSize HotKeyRecorder::sizeHint() const {
    return QAbstractButton::sizeHint().expandedTo(QSize(0, boxHeight));
}

QSize HotKeyRecorder::minimumSizeHint() const {
    return QAbstractButton::minimumSizeHint().expandedTo(QSize(0, boxHeight));
}

bool HotKeyRecorder::eventFilter(QObject* watched, QEvent* event) {
    if (!recording_) return QAbstractButton::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::ShortcutOverride:
            // Accepted here, the key goes on as a key press instead of triggering a shortcut.
            event->accept();
            return true;
        case QEvent::KeyPress:
            // A key held down (the Space or Return that started the recording) repeats: only a
            // fresh press is a combination.
            if (!static_cast<const QKeyEvent*>(event)->isAutoRepeat())
                handleKeyPress(static_cast<const QKeyEvent&>(*event));
            return true;
        default:
            return QAbstractButton::eventFilter(watched, event);
    }
}

void HotKeyRecorder::handleKeyPress(const QKeyEvent& event) {
    if (event.key() == Qt::Key_Escape) {
        setRecording(false);
        return;
    }
    if (isModifierKey(event.key())) return;
    const std::uint32_t mask = HotKeyFormatter::carbonModifiers(event.modifiers());
    if (mask == 0) {
        rejected_ = true;
        placeRejection();
        return;
    }
    // A key the hot-key grab could not name cannot be the combination.
    const std::optional<std::uint32_t> code = HotKeyFormatter::carbonKeyCode(event);
    if (!code) return;
    keyCode_ = *code;
    modifiers_ = mask;
    emit hotKeyRecorded(keyCode_, modifiers_);
    setRecording(false);
}

void HotKeyRecorder::updateLook() {
    const QColor foreground = recording_ ? Palette::accent : Palette::text;
    const bool conflicted = !recording_ && !conflict_.isEmpty();
    // A keyboard rather than the Command glyph, which means nothing on Linux keyboards.
    symbol_->setSymbol(recording_   ? QStringLiteral("record.circle.fill")
                       : conflicted ? QStringLiteral("exclamationmark.triangle.fill")
                                    : QStringLiteral("keyboard"));
    symbol_->setColor(conflicted ? Palette::danger : foreground);
    text_->setText(recording_ ? QStringLiteral("Tuş kombinasyonuna bas…")
                              : HotKeyFormatter::describe(keyCode_, modifiers_));
    text_->setColor(foreground);
    // The hint's place tells what is wrong with the combination while not recording.
    hint_->setText(recording_ ? QStringLiteral("esc ile vazgeç") : conflict_);
    hint_->setColor(recording_ ? Palette::textMuted : Palette::danger);
    hint_->setVisible(recording_ || conflicted);
    ring_->setTarget(recording_ || keyboard_->isShown() ? 1 : 0);
    placeRejection();
    update();
}

void HotKeyRecorder::placeRejection() {
    if (!rejection_) return;
    QWidget* host = parentWidget();
    if (!host) {
        rejection_->hide();
        return;
    }
    if (rejection_->parentWidget() != host) rejection_->setParent(host);
    const QSize hint = rejection_->sizeHint();
    const QRect box = geometry();
    rejection_->setGeometry(box.left(),
                            box.top() + box.height() + HotKeyRecorder::rejectionDrop - hint.height(),
                            qMax(0, qMin(hint.width(), host->width() - box.left())), hint.height());
    const bool shown = rejected_ && isVisible();
    rejection_->setVisible(shown);
    if (shown) rejection_->raise();
}

bool HotKeyRecorder::event(QEvent* event) {
    const bool result = QAbstractButton::event(event);
    if (event->type() == QEvent::ParentChange) placeRejection();
    return result;
}

void HotKeyRecorder::keyPressEvent(QKeyEvent* event) {
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool starts =
        modifiers == Qt::NoModifier &&
        (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter);
    if (!starts) {
        QAbstractButton::keyPressEvent(event);
        return;
    }
    // At the press, not as a click on release: the release would end it again.
    event->accept();
    if (!event->isAutoRepeat()) setRecording(true);
}

void HotKeyRecorder::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        event->accept();
        return;
    }
    QAbstractButton::keyReleaseEvent(event);
}

void HotKeyRecorder::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    Painting::fill(p, bounds, Radius::control, Palette::canvas);
    Painting::hairline(p, bounds, recording_ ? Palette::accent : Palette::line, Radius::control, 1);
    Painting::focusRing(p, bounds, Radius::control, ring_->value());
}

void HotKeyRecorder::moveEvent(QMoveEvent* event) {
    QAbstractButton::moveEvent(event);
    placeRejection();
}

void HotKeyRecorder::resizeEvent(QResizeEvent* event) {
    QAbstractButton::resizeEvent(event);
    placeRejection();
}

void HotKeyRecorder::showEvent(QShowEvent* event) {
    QAbstractButton::showEvent(event);
    placeRejection();
}

void HotKeyRecorder::hideEvent(QHideEvent* event) {
    QAbstractButton::hideEvent(event);
    // A hidden recorder (its window closed) must not go on swallowing the application's keys.
    setRecording(false);
    placeRejection();
}
