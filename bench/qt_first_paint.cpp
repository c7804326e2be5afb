// The yardstick for window start-up: the least a Qt Widgets program does to
// open a window and save a picture of it, as `velmora --screenshot FILE.png`
// does with its own window.
//
//   qt_first_paint OUT.png

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: qt_first_paint OUT.png\n";
        return 2;
    }
    QApplication application(argc, argv);
    QWidget window;
    QLabel label("Hello", &window);
    label.move(20, 20);
    window.resize(480, 360);
    window.show();
    int status = 0;
    QTimer::singleShot(0, &window, [&] {
        QApplication::processEvents();
        if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) status = 1;
        QApplication::exit(status);
    });
    application.exec();
    return status;
}
