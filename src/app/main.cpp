#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setObjectName("main_Form");
    window.setWindowTitle("  TARN VQ4400 Remote");
    window.show();
    return app.exec();
}
