#pragma once
// What the window tests share: one offscreen QApplication for the program, a
// window wired to the real core with a stand-in listener, message boxes
// answered by the test, and helpers that type, pump events and read the log
// area as the operator would.

#include "app/ConfigFile.h"
#include "app/FrmPrincipal.h"
#include "base/OperatorLog.h"
#include "base/OperatorMessages.h"
#include "base/ServiceState.h"
#include "tests/support/FakeListener.h"
#include "tests/support/TestDatabase.h"
#include "ui/MainWindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quelvor::test {

// The program's one QApplication, on the offscreen platform so that the tests
// run without a display.
inline QApplication& qtApp()
{
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* a = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        return a;
    }();
    return *app;
}

// Lets events run until the condition holds or the patience runs out.
inline bool pumpUntil(const std::function<bool()>& condition, int timeoutMs = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Lets events run for a while.
inline void pumpFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

struct Box
{
    ui::MainWindow::BoxKind kind;
    std::string text;
};

class WindowTest : public ::testing::Test
{
protected:
    using BoxKind = ui::MainWindow::BoxKind;

    WindowTest()
    {
        qtApp();
        static int serial = 0;
        dir = std::filesystem::temp_directory_path() /
              ("quelvor-ui-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
        std::filesystem::create_directories(dir);
        configPath = (dir / std::string(app::kConfigFileName)).string();
        base::OperatorLog::instance().drain();
        base::operatorMessages().takeAll();
        build(true);
    }

    ~WindowTest() override
    {
        core.reset();
        window.reset();
        std::filesystem::remove_all(dir);
    }

    // A fresh window and core; `tray` says whether the desktop has a
    // notification area.
    void build(bool tray)
    {
        core.reset();
        window.reset();
        window = std::make_unique<ui::MainWindow>(tray);
        core = std::make_unique<app::TFrmPrincipal>(*window, state, listener);
        core->setSecondDuration(std::chrono::milliseconds(20));
        window->attach(*core, [this] {
            ++syncRuns;
            if (duringSync)
                duringSync(); // what the operator does while the run hands control back
            if (!syncError.empty())
                throw std::runtime_error(syncError);
        });
        window->setBoxHook([this](BoxKind kind, const QString& text) {
            boxes.push_back({kind, text.toStdString()});
            return answerOk;
        });
        window->setExitHandler([this](int code) { exitCode = code; });
    }

    // A collection database with its parameter row, for starts that connect.
    void useDatabase()
    {
        coleta.emplace(TestDatabase::Kind::Coleta);
        coleta->execScript(
            "INSERT INTO PARAMETROS (PAR_ID, PAR_EMPRESA, PAR_VERSAOAPK) VALUES (1, '12', '3.1');");
    }

    // The configuration file of a server that starts on the test database.
    void writeConfig(int port, int wait)
    {
        base::Settings s;
        s.edtPorta = port;
        s.edtTempoInicializacao = wait;
        if (coleta) {
            s.EdtBaseColeta = coleta->connectionString();
            s.EdtUsuarioColeta = coleta->user();
            s.EdtSenhaColeta = coleta->password();
        }
        app::saveConfig(configPath, s);
    }

    template <typename T> T* find(const char* name) const
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        if (!found)
            throw std::runtime_error(std::string("no widget ") + name);
        return found;
    }
    QAction* action(const char* name) const { return find<QAction>(name); }
    QLineEdit* field(const char* name) const { return find<QLineEdit>(name); }
    bool menuEnabled(const char* name) const { return find<QMenu>(name)->menuAction()->isEnabled(); }
    QColor indicator() const { return find<QWidget>("Edit7")->property("color").value<QColor>(); }

    // The messages of the log area's lines, without their date and time.
    QStringList logMessages() const
    {
        QCoreApplication::processEvents();
        QStringList out;
        const QStringList lines = find<QPlainTextEdit>("Memo1")->toPlainText().split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            const qsizetype dash = line.indexOf(QLatin1Char('-'), 10);
            if (dash >= 0)
                out << line.mid(dash + 1);
        }
        return out;
    }

    // What the operator does: focus the field, select everything, type.
    static void typeInto(QLineEdit* edit, const QString& text)
    {
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(edit, &in);
        edit->selectAll();
        if (text.isEmpty()) {
            QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
            QApplication::sendEvent(edit, &del);
        }
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &release);
        }
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(edit, &out);
    }

    void start() { window->start(configPath); }

    std::vector<std::string> boxTexts(BoxKind kind) const
    {
        std::vector<std::string> out;
        for (const Box& b : boxes)
            if (b.kind == kind)
                out.push_back(b.text);
        return out;
    }

    std::filesystem::path dir;
    std::string configPath;
    std::optional<TestDatabase> coleta; // before the core: dropped after it detaches
    base::ServiceState state;
    FakeListener listener;
    std::unique_ptr<ui::MainWindow> window;
    std::unique_ptr<app::TFrmPrincipal> core;

    std::vector<Box> boxes;
    bool answerOk = true;
    std::optional<int> exitCode;
    int syncRuns = 0;
    std::string syncError;
    std::function<void()> duringSync;
};

inline const QColor kRed(255, 0, 0);
inline const QColor kGreen(0, 128, 0);

inline const char* const kSettingsFields[] = {
    "EdtBaseTarvell",   "EdtUsuarioTarvell", "EdtSenhaTarvell",       "ch_integratarvell",
    "EdtBaseColeta",    "EdtUsuarioColeta",  "EdtSenhaColeta",        "edtPorta",
    "edtVersaoCliente", "edtIDEmpresa",      "edtTempoInicializacao",
};

} // namespace quelvor::test
