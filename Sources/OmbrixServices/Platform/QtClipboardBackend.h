#pragma once

#include "OmbrixServices/Services/ClipboardService.h"

#include <QMimeData>
#include <QPointer>

#include <cstdint>
#include <vector>

// The system clipboard through QClipboard, in clipboard mode: never the X11 primary selection,
// which follows every text the user selects. "Still holds our write" means the clipboard's
// current data is the very QMimeData we handed over, which Qt drops as soon as someone else owns
// the clipboard. Without a QGuiApplication there is no clipboard: writes do nothing and no write
// is held.
class QtClipboardBackend final : public ClipboardService::Backend {
  public:
    std::uint64_t write(const std::vector<ClipboardService::Format>& formats) override;
    bool holds(std::uint64_t write) const override;

  private:
    std::uint64_t lastWrite_ = 0;
    QPointer<QMimeData> lastData_;
};
