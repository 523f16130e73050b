// The toolkit on a real X server with a window manager (run by in_x_session.py): the texts that
// Qt draws itself are Russian, whatever the desktop's language.

#include "toolkit_fixture.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>

using namespace toolkit_test;

class DesktopTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { app = makeApplication(); }
    void cleanupTestCase() { app.reset(); }

    void editContextMenuIsRussian();

private:
    std::unique_ptr<toolkit::Application> app;
};

void DesktopTest::editContextMenuIsRussian() {
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    toolkit::Form form(
        window("Menu", {focusable(ControlKind::Edit, "Numb", {10, 10, 160, 30}, "42", 0)}), {});
    QVERIFY(showActive(form));
    QWidget* edit = widgetOf(form.control("Numb"));

    // A right click through the window system, which turns it into the context menu request.
    QTest::mouseClick(windowOf(form)->windowHandle(), Qt::RightButton, {},
                      edit->mapTo(windowOf(form), QPoint(20, 15)));
    QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());

    // Each entry as the pupil reads it: without its mnemonic mark and its shortcut.
    QStringList entries;
    for (const QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            entries << action->text().section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
        }
    }
    menu->close();
    const QStringList russian{
        QStringLiteral("Отменить действие"), QStringLiteral("Повторить действие"),
        QStringLiteral("Вырезать"),          QStringLiteral("Копировать"),
        QStringLiteral("Вставить"),          QStringLiteral("Удалить"),
        QStringLiteral("Выделить всё"),
    };
    QCOMPARE(entries, russian);
}

QTEST_MAIN(DesktopTest)
#include "tst_desktop.moc"
