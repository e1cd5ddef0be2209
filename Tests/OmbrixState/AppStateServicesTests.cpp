// The application state over the real desktop services, where a test can reach them headless.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "OmbrixServices/Services/AutoTypeService.h"
#include "Support/AppStateFakes.h"

using namespace fakes;

TEST(AppStateServices, AutoTypeFailureFromTheServiceReachesLastError) {
    if (AutoTypeService::shared().hasAccessibilityPermission()) GTEST_SKIP() << "a display that can type";
    Harness h;
    AppStateDependencies deps = h.dependencies();
    deps.autoType = std::make_shared<ServiceAutoTypeRunner>();
    AppState state(deps);
    const KdbxEntry target = entry("Hedef", "ayse");
    open(h, state, database(group("Kök", {target})));
    state.performAutoType(target);
    QElapsedTimer waited;
    waited.start();
    while (state.isAutoTyping() && waited.elapsed() < 5000) QCoreApplication::processEvents();
    EXPECT_FALSE(state.isAutoTyping());
    EXPECT_EQ(state.lastError(),
              QStringLiteral("Otomatik yazma için XTEST uzantılı bir X11 oturumu gerekli. Wayland "
                             "oturumlarında otomatik yazma kullanılamaz."));
}
