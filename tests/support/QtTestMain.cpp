// Test entry point for widget tests: a QApplication on the offscreen platform.
#include <QApplication>
#include <QThreadPool>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Qt paints on the threads of its global pool, handing work over through its own locks, which
// ThreadSanitizer cannot see (tests/tsan.supp names the pool's hand-overs with the GUI
// thread). One pool thread that never ends leaves no two of them to race for the pool's own
// lists, whose code has no name that a suppression could match.
void KeepOnePoolThread() {
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    QThreadPool::globalInstance()->setExpiryTimeout(-1);
#endif
#endif
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    KeepOnePoolThread();
    return RUN_ALL_TESTS();
}
