// The real control panel in a real window (under Xvfb in the test script).
#include "app/main_app.h"
#include "app/main_dialog.h"

#include "common/random.h"
#include "display/gl_view.h"
#include "sim/world.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace quorvel {
namespace {

namespace fs = std::filesystem;

// Answerers still waiting; a test that ends before its modal window opened drops them.
std::vector<QTimer*> waitingAnswers;

// Answers the next modal window that opens over the panel, from inside its event loop.
void answerNextModal(std::function<void(QWidget*)> answer) {
    auto* timer = new QTimer;
    waitingAnswers.push_back(timer);
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || qobject_cast<CMainDialog*>(modal) != nullptr) {
            return;
        }
        timer->stop();
        std::erase(waitingAnswers, timer);
        timer->deleteLater();
        answer(modal);
    });
    timer->start();
}

void chooseFile(const std::string& path) {
    answerNextModal([path](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(QString::fromStdString(path));
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

void cancelFileDialog(bool* seen) {
    answerNextModal([seen](QWidget* w) {
        *seen = qobject_cast<QFileDialog*>(w) != nullptr;
        qobject_cast<QDialog*>(w)->reject();
    });
}

void closeMessage(std::vector<QString>* texts) {
    answerNextModal([texts](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "Quorvel");
        EXPECT_EQ(box->buttons().size(), 1);
        texts->push_back(box->text());
        box->accept();
    });
}

QPushButton* button(QWidget* dialog, const QString& caption) {
    for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
        if (b->accessibleName() == caption || b->text() == caption) {
            return b;
        }
    }
    return nullptr;
}

QLineEdit* edit(QWidget* dialog, Field field) {
    for (QLineEdit* e : dialog->findChildren<QLineEdit*>()) {
        if (e->accessibleName() == QString::number(static_cast<int>(field))) {
            return e;
        }
    }
    return nullptr;
}

class Dialog : public ::testing::Test {
protected:
    void SetUp() override {
        random::restart();
        world = std::make_unique<World>(10, 10, 0, 0, 0);
        dialog = std::make_unique<CMainDialog>(*world);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->activateWindow();
        (void)QTest::qWaitForWindowActive(dialog.get());
        dir = fs::temp_directory_path() /
              ("quorvel-dialog-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override {
        for (QTimer* t : waitingAnswers) {
            delete t;
        }
        waitingAnswers.clear();
        dialog.reset();
        fs::remove_all(dir);
    }
    std::string path(const char* name) const { return (dir / name).string(); }

    std::unique_ptr<World> world;
    std::unique_ptr<CMainDialog> dialog;
    fs::path dir;
};

TEST_F(Dialog, StartsAsTheLayoutGivesIt) {
    EXPECT_EQ(dialog->windowTitle(), "Quorvel");
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    EXPECT_FALSE(dialog->windowIcon().isNull());
    const QStringList captions{"OK",
                               "Cancel",
                               "forwards",
                               "reverse",
                               "Generate",
                               "Playback Learned Behavior",
                               "Stop Playback",
                               "Train",
                               "Save Neural Net Weights",
                               "Load Neural Net Weights",
                               "Place Robot and Goal"};
    for (const QString& c : captions) {
        EXPECT_NE(button(dialog.get(), c), nullptr) << c.toStdString();
    }
    for (Field f : {Field::obstacles, Field::sides, Field::radius, Field::runs,
                    Field::evaluationFrequency, Field::learningRate, Field::discount,
                    Field::annealing}) {
        ASSERT_NE(edit(dialog.get(), f), nullptr);
        EXPECT_TRUE(edit(dialog.get(), f)->text().isEmpty());
    }
    const auto checks = dialog->findChildren<QCheckBox*>();
    ASSERT_EQ(checks.size(), 2);
    for (QCheckBox* c : checks) {
        EXPECT_FALSE(c->isChecked());
    }
    const auto sliders = dialog->findChildren<QSlider*>();
    ASSERT_EQ(sliders.size(), 1);
    EXPECT_EQ(sliders[0]->minimum(), 0);
    EXPECT_EQ(sliders[0]->maximum(), 100);
    EXPECT_EQ(sliders[0]->value(), 0);
    EXPECT_EQ(sliders[0]->orientation(), Qt::Horizontal);
    EXPECT_EQ(dialog->findChildren<QGroupBox*>().size(), 2);
    EXPECT_EQ(dialog->focusWidget(), button(dialog.get(), "OK"));
    EXPECT_TRUE(button(dialog.get(), "OK")->isDefault());

    // The tab order follows the layout: OK, Cancel, the slider, forwards, ...
    QWidget* w = button(dialog.get(), "OK");
    w = w->nextInFocusChain();
    EXPECT_EQ(w, button(dialog.get(), "Cancel"));
    // The view keeps its proportions: 596 by 292 dialog units.
    const QRect view = dialog->view()->geometry();
    EXPECT_NEAR(static_cast<double>(view.width()) / view.height(),
                (596.0 / 4) / (292.0 / 8) * (dialog->width() / 610.0 * 4) /
                    (dialog->height() / 529.0 * 8),
                0.05);
}

TEST_F(Dialog, EnterInAFieldPressesOkWhichOffersTheSaveDialog) {
    bool sawFileDialog = false;
    cancelFileDialog(&sawFileDialog);
    QLineEdit* runs = edit(dialog.get(), Field::runs);
    runs->setFocus();
    QTest::keyClick(runs, Qt::Key_Return);
    EXPECT_TRUE(sawFileDialog);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(Dialog, EscapeAndTheCloseBoxCancelWithoutSaving) {
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(Dialog, AboutBoxFromF1AndTheContextMenu) {
    QString title;
    QString text;
    answerNextModal([&](QWidget* w) {
        title = w->windowTitle();
        for (QLabel* l : w->findChildren<QLabel*>()) {
            if (!l->text().isEmpty()) {
                text = l->text();
            }
        }
        qobject_cast<QDialog*>(w)->accept();
    });
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    EXPECT_EQ(title, "About Quorvel");
    EXPECT_EQ(text, "Quorvel Version 1.0");
    const auto actions = dialog->actions();
    ASSERT_FALSE(actions.isEmpty());
    EXPECT_EQ(actions[0]->text(), "&About Quorvel...");
    EXPECT_EQ(dialog->contextMenuPolicy(), Qt::ActionsContextMenu);
}

TEST_F(Dialog, MessagesAreModalOkBoxesTitledWithTheProgramsName) {
    std::vector<QString> texts;
    closeMessage(&texts);
    QTest::mouseClick(button(dialog.get(), "Train"), Qt::LeftButton);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "\"\" is not a valid number of training runs");
}

TEST_F(Dialog, PlaybackTicksEveryHundredMilliseconds) {
    world->goal = {150, 150};
    dialog->findChildren<QCheckBox*>()[1]->setChecked(true); // trails
    ASSERT_EQ(dialog->findChildren<QCheckBox*>()[1]->text(), "Robot leaves \"trails\"");
    QTest::mouseClick(button(dialog.get(), "Playback Learned Behavior"), Qt::LeftButton);
    QTest::mouseClick(button(dialog.get(), "Playback Learned Behavior"), Qt::LeftButton);
    QTest::qWait(550);
    QTest::mouseClick(button(dialog.get(), "Stop Playback"), Qt::LeftButton);
    const int ticks = world->trailCount;
    EXPECT_GE(ticks, 3);
    EXPECT_LE(ticks, 6); // one timer, not two
    QTest::qWait(250);
    EXPECT_EQ(world->trailCount, ticks);
}

TEST(FileFilters, ConvertToQtsForm) {
    EXPECT_EQ(qtFileFilter(weightsFilter),
              "Nnet Files (*.nnet);;Data Files (*.dat);;Text Files (*.txt);;All Files (*)");
    EXPECT_EQ(qtFileFilter(evaluationLogFilter),
              "Data Files (*.dat);;Text Files (*.txt);;All Files (*)");
}

TEST(Locale, NumbersUseAFullStopUnderACommaLocale) {
    // The test program runs under de_DE.UTF-8 when it is installed; the application set
    // LC_NUMERIC back to "C".
    EXPECT_STREQ(std::localeconv()->decimal_point, ".");
}

// The program's main path in a real window: fields typed, Generate, Place, Train into a
// log, Playback, Save.
TEST_F(Dialog, EndToEnd) {
    auto type = [&](Field f, const char* text) {
        QTest::keyClicks(edit(dialog.get(), f), text);
    };
    type(Field::obstacles, "5");
    type(Field::sides, "8");
    type(Field::radius, "12");
    QTest::mouseClick(button(dialog.get(), "Generate"), Qt::LeftButton);
    EXPECT_EQ(world->obstacleCount, 5);
    QTest::mouseClick(button(dialog.get(), "Place Robot and Goal"), Qt::LeftButton);

    type(Field::runs, "300");
    type(Field::evaluationFrequency, "10");
    type(Field::learningRate, "0.1");
    type(Field::discount, "0.9");
    std::vector<QString> texts;
    chooseFile(path("eval.dat"));
    QTimer::singleShot(0, [&] { closeMessage(&texts); });
    QTest::mouseClick(button(dialog.get(), "Train"), Qt::LeftButton);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0].startsWith("Ran 300 training iterations, hit the goal "));
    std::ifstream log(path("eval.dat"));
    int lines = 0;
    for (std::string line; std::getline(log, line);) {
        int moved, reached, steps;
        double d2, x, y, d;
        EXPECT_EQ(std::sscanf(line.c_str(), "%d,%d,%d,%lf,%lf,%lf, %lf", &moved, &reached, &steps,
                              &d2, &x, &y, &d),
                  7);
        ++lines;
    }
    EXPECT_EQ(lines, 30);

    dialog->findChildren<QCheckBox*>()[1]->setChecked(true);
    QTest::mouseClick(button(dialog.get(), "Playback Learned Behavior"), Qt::LeftButton);
    QTest::qWait(400);
    QTest::mouseClick(button(dialog.get(), "Stop Playback"), Qt::LeftButton);
    EXPECT_GE(world->trailCount, 1);

    chooseFile(path("net.nnet"));
    QTest::mouseClick(button(dialog.get(), "Save Neural Net Weights"), Qt::LeftButton);
    std::ifstream weights(path("net.nnet"));
    std::stringstream text;
    text << weights.rdbuf();
    const std::string saved = text.str();
    EXPECT_EQ(std::count(saved.begin(), saved.end(), ' '), 536);
    dialog->grab().save("panel-end-to-end.png");
}

} // namespace
} // namespace quorvel

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    quorvel::CMainApp app(argc, argv);
    return RUN_ALL_TESTS();
}
