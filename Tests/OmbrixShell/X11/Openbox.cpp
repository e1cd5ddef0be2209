#include "Openbox.h"

#include <QProcessEnvironment>
#include <QStandardPaths>

#include "ProgramWindow.h"

Openbox::Openbox(X11TestClient& x) : x_(x) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("openbox"));
    if (program.isEmpty() || !home_.isValid()) return;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home_.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral(".config")));
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program, {QStringLiteral("--sm-disable")});
    if (!process_.waitForStarted(10000)) return;
    // It manages the screen once it names its check window on the root and that window exists: an
    // Openbox that ran before on this display leaves the name of its own, gone, window behind.
    running_ = spinUntil(
        [&] {
            const xcb_window_t check = checkWindow();
            if (check == XCB_NONE) return false;
            auto attributes = owned(xcb_get_window_attributes_reply(
                x_.xcb(), xcb_get_window_attributes(x_.xcb(), check), nullptr));
            return attributes != nullptr;
        },
        10000);
}

Openbox::~Openbox() {
    process_.terminate();
    if (!process_.waitForFinished(5000)) process_.kill();
    process_.waitForFinished(5000);
}

xcb_window_t Openbox::checkWindow() {
    return rootWindowProperty("_NET_SUPPORTING_WM_CHECK");
}

xcb_window_t Openbox::active() {
    return rootWindowProperty("_NET_ACTIVE_WINDOW");
}

xcb_window_t Openbox::rootWindowProperty(const char* name) {
    auto reply = owned(xcb_get_property_reply(
        x_.xcb(), xcb_get_property(x_.xcb(), 0, x_.root(), x_.atom(name), XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!reply || xcb_get_property_value_length(reply.get()) != 4) return XCB_NONE;
    return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
}
