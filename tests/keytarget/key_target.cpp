// A stand-in for the external program the bench drives by keystrokes: a
// number field and seven buttons in one tab chain of eight. Every key that
// reaches it is appended to the file named after "--log" as
// "<key> @<widget with the focus>"; ENTER on a button presses it, and a
// pressed button writes "pressed <name>" ("execute <field>" for Execute).
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace {

QFile* g_log = nullptr;

void Write(const QString& line) {
    if (!g_log) return;
    g_log->write((line + "\n").toUtf8());
    g_log->flush();
}

class KeyRecorder : public QObject {
protected:
    bool eventFilter(QObject* obj, QEvent* e) override {
        if (e->type() != QEvent::KeyPress || obj != QApplication::focusWidget()) return false;
        auto* k = static_cast<QKeyEvent*>(e);
        const bool enter = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter;
        const QString key = k->key() == Qt::Key_Tab ? QStringLiteral("Tab") : enter ? QStringLiteral("Return") : k->text();
        Write(key + " @" + obj->objectName());
        if (enter) {
            if (auto* b = qobject_cast<QPushButton*>(obj)) {
                b->click();
                return true;
            }
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int at = static_cast<int>(args.indexOf("--log"));
    QFile log(at >= 0 && at + 1 < args.size() ? args[at + 1] : QString());
    if (at >= 0 && log.open(QIODevice::Append)) g_log = &log;

    QWidget w;
    w.setObjectName("Target");
    w.setWindowTitle("Key target");
    auto* layout = new QVBoxLayout(&w);
    auto* number = new QLineEdit(&w);
    number->setObjectName("Number");
    layout->addWidget(number);
    for (int i = 1; i <= 7; ++i) {
        const QString name = i == 1 ? QStringLiteral("Execute") : QStringLiteral("B%1").arg(i);
        auto* b = new QPushButton(name, &w);
        b->setObjectName(name);
        layout->addWidget(b);
        QObject::connect(b, &QPushButton::clicked, [b, number] {
            Write(b->objectName() == "Execute" ? "execute " + number->text() : "pressed " + b->objectName());
        });
    }
    KeyRecorder recorder;
    app.installEventFilter(&recorder);
    w.show();
    return app.exec();
}
