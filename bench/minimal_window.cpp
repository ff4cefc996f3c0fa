// The floor for start-up: the least a Qt program shows, one main window holding one line edit,
// titled "Login" so that the start-up script finds it as it finds the product's login window.

#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle("Login");
  window.setCentralWidget(new QLineEdit(&window));  // owned by the window
  window.show();
  return app.exec();
}
