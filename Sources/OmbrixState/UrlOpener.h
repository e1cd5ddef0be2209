#pragma once

#include <QUrl>

// Opens a web address with the user's default handler.
class UrlOpener {
  public:
    virtual ~UrlOpener() = default;

    virtual void open(const QUrl& url) = 0;
};

// QDesktopServices.
class DesktopUrlOpener final : public UrlOpener {
  public:
    void open(const QUrl& url) override;
};
