#include "QtTarget.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QThread>

#include <unistd.h>

#include <cstdio>

namespace {

// Logs every key press the field gets, as Qt delivers it, on standard output.
class KeyLog : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            std::printf("key %u %u %s\n", key->nativeScanCode(), key->nativeModifiers(),
                        key->text().toUtf8().toHex().constData());
            std::fflush(stdout);
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

QtTarget::QtTarget(const QString& title) {
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { read(); });
    process_.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--qt-target"), title});
    if (!process_.waitForStarted(10000)) return;
    while (window_ == XCB_NONE && process_.waitForReadyRead(20000)) read();
}

QtTarget::~QtTarget() {
    QObject::disconnect(&process_, nullptr, nullptr, nullptr);
    process_.closeWriteChannel();
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(10000);
    }
}

bool QtTarget::isRunning() const {
    return window_ != XCB_NONE && process_.state() == QProcess::Running;
}

void QtTarget::show() {
    command("show");
}

void QtTarget::stall(int milliseconds) {
    command("stall " + QByteArray::number(milliseconds));
}

void QtTarget::close() {
    command("close");
}

void QtTarget::quit() {
    command("quit");
}

void QtTarget::command(const QByteArray& line) {
    process_.write(line + '\n');
    process_.waitForBytesWritten(5000);
}

void QtTarget::read() {
    pending_ += process_.readAllStandardOutput();
    for (qsizetype end = pending_.indexOf('\n'); end >= 0; end = pending_.indexOf('\n')) {
        const QList<QByteArray> words = pending_.left(end).split(' ');
        pending_.remove(0, end + 1);
        if (words.size() == 2 && words[0] == "window") {
            window_ = words[1].toUInt();
        } else if (words.size() == 2 && words[0] == "text") {
            text_ = QByteArray::fromHex(words[1]).toStdString();
        } else if (words.size() >= 3 && words[0] == "key") {
            keys_.push_back({static_cast<xcb_keycode_t>(words[1].toUInt()),
                             static_cast<std::uint16_t>(words[2].toUInt()),
                             words.size() > 3 ? QByteArray::fromHex(words[3]).toStdString() : std::string()});
        }
    }
}

int QtTarget::runAsProcess(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    // Closing the window is not the end of the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QLineEdit field;
    field.setWindowTitle(QString::fromUtf8(argv[2]));
    field.resize(320, 40);
    KeyLog log;
    field.installEventFilter(&log);
    QObject::connect(&field, &QLineEdit::textChanged, [](const QString& text) {
        std::printf("text %s\n", text.toUtf8().toHex().constData());
        std::fflush(stdout);
    });

    // Commands, one a line, on standard input; its end ends the program.
    QByteArray input;
    QSocketNotifier notifier(0, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t got = ::read(0, buffer, sizeof buffer);
        if (got <= 0) {
            notifier.setEnabled(false);
            QCoreApplication::quit();
            return;
        }
        input.append(buffer, got);
        for (qsizetype end = input.indexOf('\n'); end >= 0; end = input.indexOf('\n')) {
            const QList<QByteArray> words = input.left(end).split(' ');
            input.remove(0, end + 1);
            if (words[0] == "show") {
                field.show();
            } else if (words[0] == "stall" && words.size() == 2) {
                // Busy on the thread that handles the window's events; Qt's reader thread
                // still takes them from the connection meanwhile.
                QThread::msleep(words[1].toULong());
            } else if (words[0] == "close") {
                field.close();
            } else if (words[0] == "quit") {
                QCoreApplication::quit();
            }
        }
    });
    std::printf("window %llu\n", static_cast<unsigned long long>(field.winId()));
    std::fflush(stdout);
    return QApplication::exec();
}
