// Placeholder entry until the main window lands: shows an empty window titled "Zemrik".
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zemrik"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Zemrik"));
    window.show();
    return QApplication::exec();
}
