// Takes the README's screenshot: opens the main window on the current
// display, runs "Check" against the configured server, and saves the
// window as a PNG file.
#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include "CMainFrame.h"
#include "CPelloruView.h"
#include "CSettingsStore.h"

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "pelloru.png";
    CSettingsStore settings("pelloru");
    CMainFrame frame(settings, "pelloru");
    frame.resize(1100, 420);
    frame.View()->OnInitialUpdate();
    frame.show();
    QTimer::singleShot(500, &frame, [&] {
        frame.View()->OnCheck();
        frame.View()->topLevelItem(1)->setSelected(true);
        QTimer::singleShot(500, &frame, [&] {
            frame.grab().save(output);
            application.quit();
        });
    });
    return QApplication::exec();
}
