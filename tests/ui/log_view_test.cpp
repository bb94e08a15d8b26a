// The log area and the operator messages: lines from connection threads, the
// hourly clearing, and the boxes that connection threads hand over.
#include "tests/ui/WindowFixture.h"

#include <QMessageBox>

#include <thread>

using namespace quelvor;
using namespace quelvor::test;

namespace {

TEST_F(WindowTest, LinesFromConnectionThreadsArriveWholeAndInOrder)
{
    constexpr int kThreads = 6;
    constexpr int kLines = 700;
    // The threads log and finish while the main thread lets no event run:
    // handing a line over never waits for the window.
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                base::log("Devolvendo:3002\x02" + std::to_string(t) + "\x02" + std::to_string(i) + "\x02");
        });
    for (std::thread& t : threads)
        t.join();

    ASSERT_TRUE(pumpUntil([&] { return logMessages().size() >= kThreads * kLines; }));
    const QStringList lines = logMessages();
    EXPECT_EQ(lines.size(), kThreads * kLines);
    std::vector<int> next(kThreads, 0);
    for (const QString& line : lines) {
        const QStringList fields = line.split(QChar(2));
        ASSERT_EQ(fields.size(), 4) << line.toStdString();
        EXPECT_EQ(fields[0], "Devolvendo:3002");
        const int t = fields[1].toInt();
        ASSERT_TRUE(t >= 0 && t < kThreads) << line.toStdString();
        EXPECT_EQ(fields[2].toInt(), next[t]) << "thread " << t << " out of order";
        next[t] = fields[2].toInt() + 1;
    }
    EXPECT_EQ(next, std::vector<int>(kThreads, kLines));
}

TEST_F(WindowTest, LogAreaIsEmptiedEveryHour)
{
    start(); // first run: a few lines
    ASSERT_FALSE(logMessages().isEmpty());
    auto* hourly = find<QTimer>("Timer3");
    EXPECT_EQ(hourly->interval(), 3600000);
    EXPECT_TRUE(hourly->isActive());

    hourly->start(100);
    ASSERT_TRUE(pumpUntil([&] { return find<QPlainTextEdit>("Memo1")->toPlainText().isEmpty(); }));

    hourly->stop();
    base::log("depois da limpeza");
    EXPECT_EQ(logMessages(), QStringList{"depois da limpeza"});
}

TEST_F(WindowTest, OperatorMessagesFromThreadsNeverBlockAndComeOneBoxAtATime)
{
    const std::vector<std::string> texts{"Tipo LargeInt - 1234Nao tratado",
                                         "Tipo LargeInt - 5678Nao tratado"};
    auto handOver = [&] {
        std::thread([&] {
            for (const std::string& t : texts)
                base::postOperatorMessage(t);
        }).join();
    };

    // Answered by the test: each text once, in order.
    handOver();
    ASSERT_TRUE(pumpUntil([&] { return boxes.size() == 2; }));
    EXPECT_EQ(boxTexts(BoxKind::OperatorMessage), texts);

    // Shown for real: a box that does not hold the window, the next one after it.
    window->setBoxHook(nullptr);
    handOver();
    QMessageBox* box = nullptr;
    ASSERT_TRUE(pumpUntil([&] {
        box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == "OperatorMessage" && w->isVisible())
                    box = qobject_cast<QMessageBox*>(w);
        return box != nullptr;
    }));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the box must not be modal";
    EXPECT_EQ(box->text().toStdString(), texts[0]);
    pumpFor(50);
    int visible = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        visible += (w->objectName() == "OperatorMessage" && w->isVisible()) ? 1 : 0;
    EXPECT_EQ(visible, 1);

    box->accept();
    QMessageBox* second = nullptr;
    ASSERT_TRUE(pumpUntil([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "OperatorMessage" && w->isVisible())
                second = qobject_cast<QMessageBox*>(w);
        return second != nullptr;
    }));
    EXPECT_EQ(second->text().toStdString(), texts[1]);
    second->accept();
}

} // namespace
