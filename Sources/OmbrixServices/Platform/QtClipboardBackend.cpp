#include "OmbrixServices/Platform/QtClipboardBackend.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {

QClipboard* systemClipboard() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return nullptr;
    return QGuiApplication::clipboard();
}

}  // namespace

std::uint64_t QtClipboardBackend::write(const std::vector<ClipboardService::Format>& formats) {
    ++lastWrite_;
    lastData_ = nullptr;
    QClipboard* clipboard = systemClipboard();
    if (!clipboard) return lastWrite_;
    auto* data = new QMimeData;
    for (const ClipboardService::Format& format : formats) {
        // As text, so that Qt also offers the X11 text targets (UTF8_STRING, STRING, TEXT).
        if (format.mimeType == QLatin1String(ClipboardService::plainTextType)) {
            data->setText(QString::fromUtf8(format.data));
        } else {
            data->setData(format.mimeType, format.data);
        }
    }
    lastData_ = data;
    clipboard->setMimeData(data, QClipboard::Clipboard);  // the clipboard takes ownership
    return lastWrite_;
}

bool QtClipboardBackend::holds(std::uint64_t write) const {
    if (write != lastWrite_ || !lastData_) return false;
    QClipboard* clipboard = systemClipboard();
    if (!clipboard) return false;
    // On X11 Qt asks the server for the clipboard's owner here, so another program's copy counts
    // at once, even before Qt has processed its notice of losing the clipboard.
    return clipboard->mimeData(QClipboard::Clipboard) == lastData_.data();
}
