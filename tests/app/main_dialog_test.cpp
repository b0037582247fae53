// The real control panel in a real window (under Xvfb in the test script).
#include "app/about_dialog.h"
#include "app/curve_chart.h"
#include "app/dialog_units.h"
#include "app/file_dialogs.h"
#include "app/main_app.h"
#include "app/main_dialog.h"
#include "app/training_window.h"
#include "training/training.h"

#include "common/random.h"
#include "display/gl_view.h"
#include "display/offscreen_render.h"
#include "display/scene.h"
#include "world/world.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLegend>
#include <QLineEdit>
#include <QLineSeries>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include "gui_main.h"
#include "test_support.h"

#include <gif_lib.h>

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <unistd.h>

namespace quorvel {
namespace {

namespace fs = std::filesystem;

// Answers modal windows as they open: each answerer takes the next window of the kind it
// accepts (or, kept, every one) and answers it from inside that window's own event loop. A
// test that ends before its window opened drops its answerers.
class ModalAnswers : public QObject {
  public:
    struct Answerer {
        std::function<bool(QWidget*)> accepts;
        std::function<void(QWidget*)> answer;
        // Kept, it answers every such window for as long as its owner lives.
        bool kept = false;
        QPointer<QObject> owner;
        // A watcher: the window goes on to the next answerer that accepts it.
        bool watcher = false;
    };
    static ModalAnswers& instance() {
        static ModalAnswers answers;
        return answers;
    }
    void add(Answerer a) {
        if (answerers_.empty()) {
            qApp->installEventFilter(this);
        }
        answerers_.push_back(std::move(a));
    }
    void clear() { answerers_.clear(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* w = qobject_cast<QWidget*>(watched);
        if (event->type() != QEvent::Show || w == nullptr || !w->isWindow()) {
            return false;
        }
        std::erase_if(answerers_, [](const Answerer& a) { return a.kept && a.owner.isNull(); });
        for (auto it = answerers_.begin(); it != answerers_.end();) {
            if (!it->accepts(w)) {
                ++it;
                continue;
            }
            // Once the window runs its event loop.
            QTimer::singleShot(0, w, [answer = it->answer, w] { answer(w); });
            const bool watcher = it->watcher;
            it = it->kept ? std::next(it) : answerers_.erase(it);
            if (!watcher) {
                break;
            }
        }
        return false;
    }

  private:
    std::vector<Answerer> answerers_;
};

void answerNextModal(std::function<bool(QWidget*)> accepts, std::function<void(QWidget*)> answer) {
    ModalAnswers::instance().add({std::move(accepts), std::move(answer), false, nullptr, false});
}

template <typename T> bool is(QWidget* w) {
    return qobject_cast<T*>(w) != nullptr;
}

// A dialog of the program's own besides the file dialogs, message boxes and its main windows:
// the about box, a plot.
bool isOther(QWidget* w) {
    return is<QDialog>(w) && !is<QFileDialog>(w) && !is<QMessageBox>(w) && !is<CMainDialog>(w) &&
           !is<TrainingWindow>(w);
}

void chooseFile(const std::string& path) {
    answerNextModal(is<QFileDialog>, [path](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        const QString wanted = QString::fromStdString(path);
        const QFileInfo file(wanted);
        dialog->setDirectory(file.absolutePath());
        // Typed into the name field, as a person would; the folder is listed in the
        // background, so accept once the dialog has resolved the name.
        EXPECT_TRUE(QTest::qWaitFor([&] {
            if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) {
                name->setText(file.fileName());
            }
            return dialog->selectedFiles().contains(wanted);
        }));
        static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
    });
}

void cancelFileDialog(bool* seen) {
    answerNextModal(is<QFileDialog>, [seen](QWidget* w) {
        *seen = true;
        qobject_cast<QDialog*>(w)->reject();
    });
}

void closeMessage(std::vector<QString>* texts) {
    answerNextModal(is<QMessageBox>, [texts](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        EXPECT_EQ(box->buttons().size(), 1);
        texts->push_back(box->text());
        box->accept();
    });
}

// After a training: reads and accepts the messages shown over the training window, then
// closes the window, which stays open with its final figures until the user closes it.
void closeTrainingWhenDone(std::vector<QString>* texts, bool* stayedOpen = nullptr,
                           bool afterTheSearch = false) {
    answerNextModal(is<TrainingWindow>, [texts, stayedOpen, afterTheSearch](QWidget* w) {
        auto* window = qobject_cast<TrainingWindow*>(w);
        ModalAnswers::instance().add(
            {[window](QWidget* box) { return is<QMessageBox>(box) && box->parent() == window; },
             [texts](QWidget* box) {
                 texts->push_back(qobject_cast<QMessageBox*>(box)->text());
                 qobject_cast<QMessageBox*>(box)->accept();
             },
             true, window});
        auto close = [window, stayedOpen] {
            if (stayedOpen != nullptr) {
                *stayedOpen = window->isVisible() && window->cancelButton()->text() == "Close";
            }
            QTest::mouseClick(window->cancelButton(), Qt::LeftButton);
        };
        if (afterTheSearch) {
            window->reachableBox()->setChecked(true);
            QObject::connect(window, &TrainingWindow::reachableSearched, window, close);
        } else {
            QObject::connect(window, &TrainingWindow::reportShown, window, close);
        }
    });
}

// Answers the next question by the button of that caption, keeping its text.
void answerQuestion(const QString& caption, QString* asked) {
    answerNextModal(is<QMessageBox>, [caption, asked](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        *asked = box->text();
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == caption) {
                b->click();
                return;
            }
        }
        ADD_FAILURE() << "no answer " << caption.toStdString();
        box->reject();
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

QComboBox* comboBox(QWidget* dialog, const QString& name) {
    for (QComboBox* box : dialog->findChildren<QComboBox*>()) {
        if (box->accessibleName() == name) {
            return box;
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
    }
    void TearDown() override {
        ModalAnswers::instance().clear();
        dialog.reset();
    }
    std::string path(const char* name) const { return folder.file(name); }

    testing::TempFolder folder{"quorvel-dialog"};
    std::unique_ptr<World> world;
    std::unique_ptr<CMainDialog> dialog;
};

TEST_F(Dialog, StartsAsTheLayoutGivesIt) {
    EXPECT_EQ(dialog->windowTitle(), "Quorvel");
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
    // On a screen with room for it, the layout's size; smaller screens: see SmallScreen.
    const DialogUnits du(dialog->font());
    EXPECT_EQ(dialog->size(), QSize(du.x(610), du.y(529)));
    EXPECT_GT(dialog->maximumHeight(), dialog->minimumHeight()); // it can be resized
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
    for (Field f :
         {Field::obstacles, Field::sides, Field::radius, Field::runs, Field::evaluationFrequency,
          Field::learningRate, Field::discount, Field::annealing}) {
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

    // A label stands level with the field beside it.
    for (QLabel* l : dialog->findChildren<QLabel*>()) {
        if (l->text() == "Learning Rate") {
            EXPECT_TRUE(l->alignment() & Qt::AlignVCenter);
            EXPECT_NEAR(l->geometry().center().y(),
                        edit(dialog.get(), Field::learningRate)->geometry().center().y(), 1);
        }
    }
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

// Enter confirms a number and moves to the next field, the last back to the first; it never
// presses OK and so never closes the panel.
TEST_F(Dialog, EnterInAFieldMovesToTheNextField) {
    bool sawFileDialog = false;
    cancelFileDialog(&sawFileDialog); // should OK's save dialog open, close it
    QLineEdit* runs = edit(dialog.get(), Field::runs);
    runs->setFocus();
    QTest::keyClicks(runs, "500");
    QTest::keyClick(runs, Qt::Key_Return);
    EXPECT_EQ(dialog->focusWidget(), edit(dialog.get(), Field::evaluationFrequency));
    QTest::keyClick(dialog->focusWidget(), Qt::Key_Enter);
    EXPECT_EQ(dialog->focusWidget(), edit(dialog.get(), Field::learningRate));
    edit(dialog.get(), Field::annealing)->setFocus();
    QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
    EXPECT_EQ(dialog->focusWidget(), edit(dialog.get(), Field::obstacles));
    EXPECT_EQ(runs->text(), "500");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(sawFileDialog);
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
    QStringList texts;
    bool everyLineShows = true;
    answerNextModal(isOther, [&](QWidget* w) {
        title = w->windowTitle();
        for (QLabel* l : w->findChildren<QLabel*>()) {
            if (!l->text().isEmpty()) {
                texts << l->text();
            }
            // Each label holds its text whole, and the box holds each label.
            everyLineShows = everyLineShows && w->rect().contains(l->geometry()) &&
                             l->width() >= l->sizeHint().width() &&
                             l->height() >= l->sizeHint().height();
        }
        qobject_cast<QDialog*>(w)->accept();
    });
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    EXPECT_EQ(title, "About Quorvel");
    EXPECT_TRUE(texts.contains("Quorvel Version 1.0")) << texts.join('|').toStdString();
    EXPECT_TRUE(texts.contains(CAboutDialog::keysText())); // the keys are documented there
    EXPECT_TRUE(CAboutDialog::keysText().contains("Up: forwards"));
    EXPECT_TRUE(CAboutDialog::keysText().contains("V: value map"));
    EXPECT_TRUE(everyLineShows);
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
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(button(dialog.get(), "Playback Learned Behavior"), Qt::LeftButton);
    QTest::mouseClick(button(dialog.get(), "Playback Learned Behavior"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return world->trailCount >= 5; }, 20000));
    // One timer of 100 ms, not two: five ticks take at least 450 ms however busy the machine.
    EXPECT_GE(clock.elapsed(), 450);
    QTest::mouseClick(button(dialog.get(), "Stop Playback"), Qt::LeftButton);
    const int ticks = world->trailCount;
    QTest::qWait(250); // however long one waits, a stopped playback does not tick
    EXPECT_EQ(world->trailCount, ticks);
}

TEST_F(Dialog, AClickOnTheViewIsReportedAndRedraws) {
    QSignalSpy clicks(dialog->view(), &CGLView::clicked);
    QSignalSpy frames(dialog->view(), &QOpenGLWidget::frameSwapped);
    QTest::mouseClick(dialog->view(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_TRUE(frames.wait(2000)); // the click's Redraw produced a new picture
}

// On a laptop's screen (run under displays of 1280x720 and 1366x768 by the test list), the
// panel fits: every control lies on the screen and answers a click, and the view is drawn at
// the height it gave up.
TEST(SmallScreen, EveryControlIsOnTheScreenAndAnswersAClick) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    if (screen.height() > 800) {
        GTEST_SKIP() << "a screen of " << screen.width() << "x" << screen.height();
    }
    random::restart();
    World world(10, 10, 0, 0, 0);
    CMainDialog dialog(world);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_TRUE(screen.contains(dialog.frameGeometry())) << dialog.frameGeometry().height();
    const DialogUnits du(dialog.font());
    EXPECT_LT(dialog.view()->height(), du.y(292));
    for (QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->isWindow() || !w->isVisible()) {
            continue;
        }
        const QRect global(w->mapToGlobal(QPoint(0, 0)), w->size());
        EXPECT_TRUE(screen.contains(global))
            << w->metaObject()->className() << " " << w->accessibleName().toStdString();
    }
    // The controls a person could not reach before, and a drive.
    dialog.findChildren<QSlider*>()[0]->setValue(50);
    QTest::mouseClick(button(&dialog, "forwards"), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(world.front.x, 7);
    for (Field f : {Field::learningRate, Field::discount}) {
        QTest::mouseClick(edit(&dialog, f), Qt::LeftButton);
        EXPECT_EQ(dialog.focusWidget(), edit(&dialog, f));
    }
    std::vector<QString> texts;
    closeMessage(&texts);
    QTest::mouseClick(button(&dialog, "Train"), Qt::LeftButton);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "\"\" is not a valid number of training runs");
    const QImage shown = dialog.view()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.height(),
              static_cast<int>(dialog.view()->height() * dialog.view()->devicePixelRatioF()));
    EXPECT_EQ(shown, renderWorldImage(world, shown.size()));
    dialog.grab().save(QString("panel-%1x%2.png")
                           .arg(QGuiApplication::primaryScreen()->size().width())
                           .arg(QGuiApplication::primaryScreen()->size().height()));
    QTest::mouseClick(button(&dialog, "Cancel"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    bool sawSaveDialog = false;
    cancelFileDialog(&sawSaveDialog);
    QTest::mouseClick(button(&dialog, "OK"), Qt::LeftButton);
    EXPECT_TRUE(sawSaveDialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ModalAnswers::instance().clear();
}

TEST(CurveChartAxis, TicksFallOnRoundNumbers) {
    EXPECT_EQ(roundTickInterval(49900), 10000);
    EXPECT_EQ(roundTickInterval(300000), 100000);
    EXPECT_EQ(roundTickInterval(20000), 5000);
    EXPECT_EQ(roundTickInterval(400), 100);
    EXPECT_EQ(roundTickInterval(7), 2);
    EXPECT_EQ(roundTickInterval(1), 1);
}

TEST(CurveChartAxis, ManyLogsAreToldApartByPenAndNamedInAColumnBeside) {
    for (const int count : {2, 18}) {
        std::vector<LabelledCurve> curves(count);
        for (int i = 0; i < count; ++i) {
            curves[i].name = "log-" + std::to_string(i);
            curves[i].points = {{0, 0.5, 0, 0}, {100, 0.5, 0, 0}};
        }
        CurveChart chart("run", 10);
        chart.setCurves(curves);
        std::set<std::pair<QRgb, int>> pens;
        for (QAbstractSeries* s : chart.chart()->series()) {
            const QPen pen = qobject_cast<QLineSeries*>(s)->pen();
            pens.insert({pen.color().rgb(), pen.style()});
        }
        EXPECT_EQ(pens.size(), static_cast<std::size_t>(count));
        EXPECT_EQ(chart.chart()->legend()->alignment(),
                  count > 4 ? Qt::AlignRight : Qt::AlignBottom);
    }
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
    EXPECT_STREQ(std::setlocale(LC_MONETARY, nullptr), "de_DE.UTF-8"); // the user's locale
    EXPECT_STREQ(std::localeconv()->decimal_point, ".");
}

// The program's main path in a real window: fields typed, Generate, Place, Train into a
// log, Playback, Save.
TEST_F(Dialog, EndToEnd) {
    auto type = [&](Field f, const char* text) { QTest::keyClicks(edit(dialog.get(), f), text); };
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
    closeTrainingWhenDone(&texts);
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
    EXPECT_TRUE(QTest::qWaitFor([&] { return world->trailCount >= 2; }, 20000));
    QTest::mouseClick(button(dialog.get(), "Stop Playback"), Qt::LeftButton);

    chooseFile(path("net.nnet"));
    QTest::mouseClick(button(dialog.get(), "Save Neural Net Weights"), Qt::LeftButton);
    std::ifstream weights(path("net.nnet"));
    std::stringstream text;
    text << weights.rdbuf();
    const std::string saved = text.str();
    EXPECT_EQ(std::count(saved.begin(), saved.end(), ' '), 536);
    dialog->grab().save("panel-end-to-end.png");
}

// Types `name` into the next save dialog, in the folder, with its filter `filter` chosen; keeps
// the name the dialog proposed.
void typeSaveName(const QString& folder, const QString& name, int filter, QString* proposed) {
    answerNextModal(is<QFileDialog>, [=](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        *proposed = dialog->findChild<QLineEdit*>("fileNameEdit")->text();
        dialog->setDirectory(folder);
        dialog->selectNameFilter(dialog->nameFilters()[filter]);
        const QString wanted = folder + "/" + name;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(name);
            return dialog->selectedFiles().contains(wanted);
        }));
        static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
    });
}

TEST_F(Dialog, SaveDialogsProposeANameAndGiveANewNameTheFiltersExtension) {
    const QString dir = QString::fromStdString(folder.path().string());
    QString proposed;
    typeSaveName(dir, "net", 0, &proposed);
    QTest::mouseClick(button(dialog.get(), "Save Neural Net Weights"), Qt::LeftButton);
    EXPECT_EQ(proposed, "quorvel.nnet");
    EXPECT_TRUE(fs::exists(path("net.nnet")));
    typeSaveName(dir, "net", 1, &proposed); // Data Files (*.dat)
    QTest::mouseClick(button(dialog.get(), "Save Neural Net Weights"), Qt::LeftButton);
    EXPECT_TRUE(fs::exists(path("net.dat")));
    std::ofstream(path("plain")) << "old";
    typeSaveName(dir, "plain", 0, &proposed); // an existing file keeps its name
    QTest::mouseClick(button(dialog.get(), "Save Neural Net Weights"), Qt::LeftButton);
    EXPECT_NE(testing::readFile(path("plain")), "old");
    EXPECT_FALSE(fs::exists(path("plain.nnet")));
    EXPECT_EQ(filterSuffix("All Files (*)"), "");
    EXPECT_EQ(filterSuffix("Animated GIF (*.gif)"), "gif");
}

// Waits for the training window, lets `look` see it while it runs, then leaves it alone.
void watchTraining(std::function<void(TrainingWindow*)> look) {
    ModalAnswers::instance().add({is<TrainingWindow>,
                                  [look](QWidget* w) { look(qobject_cast<TrainingWindow*>(w)); },
                                  false, nullptr, true});
}

std::string slurp(const std::string& path) {
    return testing::readFile(path);
}

class Training : public Dialog {
  protected:
    void fill(const char* runs, const char* frequency) {
        auto type = [&](Field f, const char* text) { edit(dialog.get(), f)->setText(text); };
        type(Field::obstacles, "5");
        type(Field::sides, "8");
        type(Field::radius, "12");
        QTest::mouseClick(button(dialog.get(), "Generate"), Qt::LeftButton);
        type(Field::runs, runs);
        type(Field::evaluationFrequency, frequency);
        type(Field::learningRate, "0.1");
        type(Field::discount, "0.9");
    }
    // Train in the window; returns the summary shown at the end.
    QString train(const std::string& log, bool* stayedOpen = nullptr, bool afterTheSearch = false) {
        std::vector<QString> texts;
        chooseFile(log);
        closeTrainingWhenDone(&texts, stayedOpen, afterTheSearch);
        QTest::mouseClick(button(dialog.get(), "Train"), Qt::LeftButton);
        return texts.empty() ? QString() : texts.front();
    }
};

TEST_F(Training, WindowShowsAdvancingFiguresAndCancelStopsAfterTheRunInProgress) {
    fill("200000", "10");
    int first = -1, second = -1, atCancel = -1;
    QString runsShown, leftShown;
    watchTraining([&](TrainingWindow* w) {
        QObject::connect(w, &TrainingWindow::reportShown, w, [&, w] {
            runsShown = w->findChild<QLabel*>("Runs")->text();
            leftShown = w->findChild<QLabel*>("Time left")->text();
        });
        EXPECT_EQ(w->findChild<QLabel*>("Learner")->text(), "on-line");
        // The bar moves on as the runs go on; then Cancel.
        auto* bar = w->findChild<QProgressBar*>();
        QObject::connect(bar, &QProgressBar::valueChanged, w, [&, w](int value) {
            if (first < 0 && value > 0) {
                first = value;
            } else if (first >= 0 && value > first && second < 0) {
                second = value;
                // The runs go on in their own thread: the window's figures are a lower bound.
                atCancel = w->shownProgress().runsDone;
                QTest::mouseClick(w->cancelButton(), Qt::LeftButton);
            }
        });
    });
    const QString summary = train(path("eval.dat"));
    EXPECT_GT(second, first);
    ASSERT_TRUE(summary.startsWith("Ran ")) << summary.toStdString();
    const int ran = summary.section(' ', 1, 1).toInt();
    EXPECT_GE(ran, atCancel);
    EXPECT_LT(ran, 200000);
    EXPECT_EQ(runsShown, QString("Cancelled after %1 of 200000 runs").arg(ran));
    EXPECT_EQ(leftShown, "");
    EXPECT_EQ(world->goalCount + world->collisionCount + world->missCount, ran);
    const std::string log = slurp(path("eval.dat"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), (ran + 9) / 10);
    EXPECT_EQ(log.back(), '\n');
}

// The trial drives have a pace of their own: paused, a step advances exactly one; plus and
// minus choose the speed, and the trials' timer follows it.
TEST_F(Training, TrialsGoAtThePaceAsked) {
    fill("1000000", "20");
    world->goal = {150, 150}; // out of reach: the trial drives on
    int stepsAtPause = -1, stepsAfterStep = -1, speed = -1;
    bool pausedThen = false, drove = false;
    watchTraining([&](TrainingWindow* w) {
        // The keys are the active window's; without a window manager, Xvfb leaves the panel
        // active under its modal window.
        QApplication::setActiveWindow(w);
        QTest::keyClick(w, Qt::Key_Space);
        pausedThen = w->trialsPaused();
        stepsAtPause = w->trial().steps();
        QTest::keyClick(w, Qt::Key_Period);
        stepsAfterStep = w->trial().steps();
        QTest::keyClick(w, Qt::Key_Plus);
        QTest::keyClick(w, Qt::Key_Plus);
        QTest::keyClick(w, Qt::Key_Plus);
        QTest::keyClick(w, Qt::Key_Minus);
        speed = w->trialSpeed();
        // As fast as drawn, going on: every picture shown brings the next step.
        QTest::keyClick(w, Qt::Key_Plus);
        QTest::keyClick(w, Qt::Key_Space);
        const int before = w->trial().steps();
        drove = QTest::qWaitFor(
            [&] { return w->trial().steps() >= before + 5 || w->trial().ended(); }, 60000);
        QTest::mouseClick(w->cancelButton(), Qt::LeftButton);
    });
    train(path("eval.dat"));
    EXPECT_TRUE(pausedThen);
    EXPECT_EQ(stepsAfterStep, stepsAtPause + 1);
    EXPECT_EQ(speed, 2);
    EXPECT_TRUE(drove);
}

TEST_F(Training, WatchedTrainingGivesTheDriversBytes) {
    fill("400", "20");
    train(path("window.dat"));
    ASSERT_TRUE(world->learner.saveWeights(path("window.nnet").c_str()));

    random::restart();
    auto reference = std::make_unique<World>(10, 10, 0, 0, 0);
    reference->generateObstacleField(5, 8, {-50, -50}, {50, 50}, 12);
    TrainingSettings settings;
    settings.runs = 400;
    settings.logPath = path("driver.dat");
    settings.evaluationFrequency = 20;
    settings.learningRate = 0.1;
    settings.discount = 0.9;
    settings.annealingNumber = 200;
    runTraining(*reference, settings);
    ASSERT_TRUE(reference->learner.saveWeights(path("driver.nnet").c_str()));
    EXPECT_EQ(slurp(path("window.dat")), slurp(path("driver.dat")));
    EXPECT_EQ(slurp(path("window.nnet")), slurp(path("driver.nnet")));
}

TEST_F(Training, ClosingAfterATrainingAsksBeforeTheNetworkIsLost) {
    fill("200", "20");
    train(path("eval.dat"));
    const auto trained = testing::parametersOf(world->learner.network);
    QString asked;

    // Escape: Keep Open keeps the dialog and the network as they are.
    answerQuestion("Keep Open", &asked);
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_EQ(asked, QString(unsavedNetworkQuestion));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(testing::parametersOf(world->learner.network), trained);

    // OK, its save dialog cancelled: the question again; Save... writes the weights and closes.
    bool sawSaveDialog = false;
    cancelFileDialog(&sawSaveDialog);
    answerQuestion("Save...", &asked);
    chooseFile(path("kept.nnet"));
    QTest::mouseClick(button(dialog.get(), "OK"), Qt::LeftButton);
    EXPECT_TRUE(sawSaveDialog);
    EXPECT_EQ(asked, QString(unsavedNetworkQuestion));
    const std::string kept = slurp(path("kept.nnet"));
    EXPECT_EQ(std::count(kept.begin(), kept.end(), ' '), 536);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);

    // Trained again, the close box asks; Close Without Saving closes.
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    train(path("eval.dat"));
    answerQuestion("Close Without Saving", &asked);
    dialog->close();
    EXPECT_EQ(asked, QString(unsavedNetworkQuestion));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(Dialog, FieldsShowTheirRangesAndEveryControlSaysWhatItDoes) {
    // The range and a value to try, or the value alone where the field is too narrow for both.
    struct Shown {
        Field field;
        const char* range;
        const char* value;
    };
    const Shown placeholders[] = {{Field::obstacles, "0-7", "2"},
                                  {Field::sides, "3-10", "10"},
                                  {Field::radius, "5-25", "15"},
                                  {Field::runs, "1-10000000", "500000"},
                                  {Field::evaluationFrequency, "", "100"},
                                  {Field::learningRate, "0.001-0.9", "0.1"},
                                  {Field::discount, "0.001-0.999", "0.999"},
                                  {Field::annealing, "200", "200"}};
    for (const auto& [field, range, value] : placeholders) {
        QLineEdit* e = edit(dialog.get(), field);
        const QString tryIt = QString("try ") + value;
        const QString both = *range == '\0' ? tryIt : QString(range) + ", " + tryIt;
        const bool fits = e->fontMetrics().horizontalAdvance(both) <= e->width() - 8;
        EXPECT_EQ(e->placeholderText(), fits ? both : tryIt);
        EXPECT_TRUE(e->text().isEmpty());
        EXPECT_TRUE(e->toolTip().contains("(" + tryIt)) << e->toolTip().toStdString();
    }
    EXPECT_EQ(edit(dialog.get(), Field::obstacles)->placeholderText(), "0-7, try 2");
    std::vector<QWidget*> controls;
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (is<QAbstractButton>(w) || is<QSlider>(w) || is<QLineEdit>(w) || is<QComboBox>(w) ||
            w == dialog->view()) {
            controls.push_back(w);
        }
    }
    // Buttons, check boxes, slider, speed, learner, fields, view.
    EXPECT_EQ(controls.size(), 13u + 2u + 1u + 1u + 1u + 8u + 1u);
    for (QWidget* w : controls) {
        EXPECT_FALSE(w->toolTip().isEmpty()) << w->metaObject()->className();
        EXPECT_FALSE(w->toolTip().contains('\n'));
    }
    EXPECT_TRUE(button(dialog.get(), "Train")->toolTip().contains("evaluation log"));
    // The on-line learner unless the user chooses the other; the tip names what to try.
    QComboBox* learner = comboBox(dialog.get(), "Learner");
    ASSERT_NE(learner, nullptr);
    EXPECT_EQ(learner->currentText(), "on-line");
    EXPECT_EQ(dialog->learner(), LearnerKind::online);
    EXPECT_TRUE(learner->toolTip().contains("learning rate of 0.05 and a discount of 0.99"));
    learner->setCurrentIndex(1);
    EXPECT_EQ(dialog->learner(), LearnerKind::hindsight);
    EXPECT_TRUE(button(dialog.get(), "forwards")->autoRepeat());
    EXPECT_TRUE(button(dialog.get(), "reverse")->autoRepeat());
    // Showing only its placeholder, a field is empty, and says so as before.
    std::vector<QString> texts;
    closeMessage(&texts);
    QTest::mouseClick(button(dialog.get(), "Train"), Qt::LeftButton);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "\"\" is not a valid number of training runs");
    closeMessage(&texts);
    QTest::mouseClick(button(dialog.get(), "Generate"), Qt::LeftButton);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], "\"\" is not a valid number of obstacles");
}

TEST_F(Dialog, KeysDriveAsTheButtonsDo) {
    random::restart();
    World twin(10, 10, 0, 0, 0);
    auto* slider = dialog->findChildren<QSlider*>()[0];
    auto expectSamePose = [&](const char* after) {
        EXPECT_EQ(world->front, twin.front) << after;
        EXPECT_EQ(world->rear, twin.rear) << after;
        EXPECT_EQ(world->heading, twin.heading) << after;
    };
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(dialog.get(), Qt::Key_Up);
        twin.driveManually(steeringFromSlider({0, 100, 0}), 2);
    }
    expectSamePose("Up");
    QTest::keyClick(dialog.get(), Qt::Key_Right);
    EXPECT_EQ(slider->value(), 1);
    QTest::keyClick(dialog.get(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(slider->value(), 11);
    QTest::keyClick(dialog.get(), Qt::Key_Down);
    twin.driveManually(steeringFromSlider({0, 100, 11}), -2);
    expectSamePose("Down");
    QTest::keyClick(dialog.get(), Qt::Key_Left);
    EXPECT_EQ(slider->value(), 10);
    QTest::keyClick(dialog.get(), Qt::Key_Home);
    EXPECT_EQ(slider->value(), 50);
    slider->setValue(20);
    QTest::keyClick(dialog.get(), Qt::Key_0);
    EXPECT_EQ(slider->value(), 50);
    QTest::mouseClick(button(dialog.get(), "forwards"), Qt::LeftButton);
    twin.driveManually(0, 2);
    expectSamePose("forwards");

    // While a field is being edited the keys are the field's.
    QLineEdit* runs = edit(dialog.get(), Field::runs);
    runs->setFocus();
    QTest::keyClick(runs, Qt::Key_Up);
    QTest::keyClick(runs, Qt::Key_0);
    QTest::keyClick(runs, Qt::Key_Left);
    expectSamePose("keys in a field");
    EXPECT_EQ(runs->text(), "0");
    EXPECT_EQ(slider->value(), 50);
}

// Every new display on, trials driving beside the runs: the panel's training writes what
// quorvel-train writes for the same fields after a fresh start.
TEST_F(Training, TrialDrivesShowBesideTheRunsAndLeaveTheTrainersBytes) {
    const std::string home = std::getenv("HOME");
    setenv("HOME", folder.path().c_str(), 1);
    fs::create_directories(folder.path() / "nnet_backup");
    dialog->showValueMap(true);
    dialog->showActionValuesOverlay(true);
    fill("20000", "500");
    // The goal just behind the robot, which drives backwards: every trial ends at its first
    // step, a second apart. (The runs place robot and goal anew: the bytes are the trainer's.)
    world->goal = world->rear - 8 * world->heading;
    const Vec2 startRear = world->rear, startGoal = world->goal;
    int trialSteps = 0;
    std::vector<std::pair<int, DriveEnd>> ended;  // every trial's run and end
    std::vector<std::pair<int, DriveEnd>> marked; // the marks on the curve, by kind
    std::size_t endedAtReport = 0;
    QString caption;
    bool arenaShown = false;
    watchTraining([&](TrainingWindow* w) {
        EXPECT_EQ(w->trial().world().rear, startRear);
        EXPECT_EQ(w->trial().world().goal, startGoal);
        arenaShown = w->arena()->isVisible() && w->arena()->extras().valueMap != nullptr;
        QObject::connect(w, &TrainingWindow::trialEnded, w, [&, w](int run, DriveEnd end) {
            ended.push_back({run, end});
            trialSteps = std::max(trialSteps, w->trial().steps());
        });
        QObject::connect(w, &TrainingWindow::reportShown, w, [&, w] {
            caption = w->findChild<QLabel*>("trialCaption")->text();
            endedAtReport = ended.size();
            for (DriveEnd kind : {DriveEnd::goal, DriveEnd::collision, DriveEnd::outOfSteps}) {
                for (const QPointF& p : w->chart()->trialMarks(kind)) {
                    EXPECT_EQ(p.y(), kind == DriveEnd::goal ? 1.0 : 0.0);
                    marked.push_back({static_cast<int>(p.x()), kind});
                }
            }
        });
    });
    train(path("window.dat"));
    setenv("HOME", home.c_str(), 1);
    EXPECT_TRUE(arenaShown);
    EXPECT_GT(trialSteps, 0);
    EXPECT_TRUE(caption.startsWith("run ")) << caption.toStdString();
    // The curve marks each trial that ended before the report, at the run its network was
    // taken, in the kind of its end (leaving the arena counts with the misses).
    ASSERT_GT(endedAtReport, 0u);
    std::vector<std::pair<int, DriveEnd>> expected(
        ended.begin(), ended.begin() + static_cast<long>(endedAtReport));
    for (auto& e : expected) {
        e.second = e.second == DriveEnd::leftArena ? DriveEnd::outOfSteps : e.second;
    }
    std::sort(expected.begin(), expected.end());
    std::sort(marked.begin(), marked.end());
    EXPECT_EQ(marked, expected);

    const fs::path trainer = folder.path() / "trainer";
    fs::create_directories(trainer / "backup");
    const std::string command =
        "cd '" + trainer.string() +
        "' && '" QUORVEL_TRAIN_PATH "' --quiet --obstacles 5 "
        "--sides 8 --radius 12 --runs 20000 --eval-freq 500 --learning-rate 0.1 --discount 0.9 "
        "--annealing 200 --no-q-learn "
        "--log eval.dat --save-weights w.nnet --backup-dir backup >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(slurp(path("window.dat")), slurp((trainer / "eval.dat").string()));
    ASSERT_TRUE(world->learner.saveWeights(path("window.nnet").c_str()));
    EXPECT_EQ(slurp(path("window.nnet")), slurp((trainer / "w.nnet").string()));
    int backups = 0;
    for (const auto& entry : fs::directory_iterator(trainer / "backup")) {
        const fs::path mine = folder.path() / "nnet_backup" / entry.path().filename();
        EXPECT_EQ(slurp(entry.path().string()), slurp(mine.string())) << mine;
        ++backups;
    }
    EXPECT_EQ(backups, 40);
}

// The pixel of the view where a point of the arena is shown.
QPoint pixelOf(const CGLView* view, Vec2 p) {
    const Vec2 half = visibleHalfExtent(view->width(), view->height());
    return {static_cast<int>(std::lround((p.x / half.x + 1) / 2 * view->width())),
            static_cast<int>(std::lround((1 - p.y / half.y) / 2 * view->height()))};
}

// A click on the floor puts the robot there, a drag turns it, Shift puts the goal; a place on
// an obstacle is refused. Space, the full stop and plus pace the playback.
TEST_F(Dialog, TheMousePlacesAndTheKeysPaceThePlayback) {
    CGLView* view = dialog->view();
    const double unit = 2 * visibleHalfExtent(view->width(), view->height()).y / view->height();
    QTest::mouseClick(view, Qt::LeftButton, {}, pixelOf(view, {-50, -40}));
    const Vec2 centre = 0.5 * (world->rear + world->front);
    EXPECT_NEAR(centre.x, -50, unit);
    EXPECT_NEAR(centre.y, -40, unit);
    QTest::mousePress(view, Qt::LeftButton, {}, pixelOf(view, {30, -60}));
    QTest::mouseRelease(view, Qt::LeftButton, {}, pixelOf(view, {30, -20}));
    EXPECT_NEAR(world->heading.x, 0, 0.05);
    EXPECT_NEAR(world->heading.y, 1, 0.01);
    QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, pixelOf(view, {-70, 60}));
    EXPECT_NEAR(world->goal.x, -70, unit);
    EXPECT_NEAR(world->goal.y, 60, unit);
    world->obstacleCount = 1;
    world->obstacles[0].resize(4);
    world->obstacles[0].vertices = {{50, 50}, {80, 50}, {80, 80}, {50, 80}};
    world->obstacles[0].valid = true;
    world->obstacles[0].updateBox();
    const Vec2 rear = world->rear;
    std::vector<QString> texts;
    closeMessage(&texts);
    QTest::mouseClick(view, Qt::LeftButton, {}, pixelOf(view, {65, 65}));
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "The robot would touch an obstacle there; it stays where it was.");
    EXPECT_EQ(world->rear, rear);

    world->goal = {150, 150};
    dialog->findChildren<QCheckBox*>()[1]->setChecked(true); // trails: a pose a step
    QTest::mouseClick(button(dialog.get(), "Playback Learned Behavior"), Qt::LeftButton);
    QTest::keyClick(dialog.get(), Qt::Key_Space);
    const int paused = world->trailCount;
    EXPECT_EQ(button(dialog.get(), "Pause")->text(), "Go On");
    QTest::keyClick(dialog.get(), Qt::Key_Period);
    EXPECT_EQ(world->trailCount, paused + 1);
    QTest::keyClick(dialog.get(), Qt::Key_Plus);
    EXPECT_EQ(comboBox(dialog.get(), "Speed")->currentText(), "4x");
    QTest::keyClick(dialog.get(), Qt::Key_Space);
    EXPECT_EQ(button(dialog.get(), "Pause")->text(), "Pause");
    ASSERT_TRUE(QTest::qWaitFor([&] { return world->trailCount >= paused + 9; }, 20000));
    QTest::mouseClick(button(dialog.get(), "Stop Playback"), Qt::LeftButton);
    // 4 steps a tick: the trail grew by whole ticks after the one step.
    EXPECT_EQ((world->trailCount - paused - 1) % 4, 0);
}

// Each kind of file dialog opens where the last of its kind was left.
TEST_F(Dialog, FileDialogsOpenWhereTheLastOfTheirKindWasLeft) {
    fs::create_directories(folder.path() / "nets");
    chooseFile(path("nets/a.nnet"));
    QTest::mouseClick(button(dialog.get(), "Save Neural Net Weights"), Qt::LeftButton);
    ASSERT_TRUE(fs::exists(folder.path() / "nets" / "a.nnet"));
    QString opened;
    answerNextModal(is<QFileDialog>, [&](QWidget* w) {
        opened = qobject_cast<QFileDialog*>(w)->directory().absolutePath();
        qobject_cast<QDialog*>(w)->reject();
    });
    QTest::mouseClick(button(dialog.get(), "Save Neural Net Weights"), Qt::LeftButton);
    EXPECT_EQ(opened, QString::fromStdString((folder.path() / "nets").string()));
}

TEST_F(Dialog, ValueMapAndActionValuesFollowTheirKeysExceptInAField) {
    QTest::keyClick(dialog.get(), Qt::Key_V);
    ASSERT_TRUE(dialog->valueMapShown());
    ASSERT_NE(dialog->view()->extras().valueMap, nullptr);
    EXPECT_TRUE(dialog->view()->overlays().legend);
    // The square at (-60, 40) shows its value's colour, unlit.
    const QImage shown = dialog->view()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    const double aspect = static_cast<double>(shown.width()) / shown.height();
    const QPoint pixel(static_cast<int>((-60 / (100 * aspect) + 1) / 2 * shown.width()),
                       static_cast<int>((1 - 40 / 100.0) / 2 * shown.height()));
    const Colour expected = valueColour(dialog->valueMap().values[4][14]);
    const QColor got = shown.pixelColor(pixel);
    EXPECT_NEAR(got.redF(), expected.r, 2.0 / 255);
    EXPECT_NEAR(got.greenF(), expected.g, 2.0 / 255);
    EXPECT_NEAR(got.blueF(), expected.b, 2.0 / 255);

    // Stretched (S), the colours span the map's own lowest to highest value.
    QTest::keyClick(dialog.get(), Qt::Key_S);
    ASSERT_TRUE(dialog->valueMapStretched());
    const ValueRange range = rangeOf(dialog->valueMap());
    EXPECT_EQ(dialog->view()->extras().valueLow, range.low);
    EXPECT_EQ(dialog->view()->extras().valueHigh, range.high);
    EXPECT_TRUE(dialog->view()->overlays().legendStretched);
    EXPECT_LT(range.high - range.low, 1);
    QTest::keyClick(dialog.get(), Qt::Key_S);
    EXPECT_EQ(dialog->view()->extras().valueHigh, 1);

    // A drive changes the map with the robot's pose; A shows the values where it stands.
    QTest::keyClick(dialog.get(), Qt::Key_A);
    ASSERT_TRUE(dialog->actionValuesShown());
    dialog->findChildren<QSlider*>()[0]->setValue(0);
    QTest::keyClick(dialog.get(), Qt::Key_Up);
    ValueMap direct;
    ValueProbe().map(*world, direct);
    EXPECT_EQ(dialog->valueMap().values[4][14], direct.values[4][14]);
    ASSERT_TRUE(dialog->view()->overlays().actionValues.has_value());
    EXPECT_EQ(dialog->view()->overlays().actionValues->chosen, -1);

    // In a field, the letters are the field's.
    QLineEdit* runs = edit(dialog.get(), Field::runs);
    runs->setFocus();
    QTest::keyClick(runs, Qt::Key_V);
    QTest::keyClick(runs, Qt::Key_A);
    EXPECT_EQ(runs->text(), "va");
    EXPECT_TRUE(dialog->valueMapShown());
    EXPECT_TRUE(dialog->actionValuesShown());

    dialog->findChildren<QPushButton*>()[0]->setFocus();
    QTest::keyClick(dialog.get(), Qt::Key_V);
    QTest::keyClick(dialog.get(), Qt::Key_A);
    EXPECT_FALSE(dialog->valueMapShown());
    EXPECT_EQ(dialog->view()->extras().valueMap, nullptr);
    EXPECT_FALSE(dialog->view()->overlays().actionValues.has_value());
    EXPECT_FALSE(dialog->view()->overlays().any());
    // With the displays off again, the picture is the World's alone, as before the overlays.
    const QImage plain = dialog->view()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(plain, renderWorldImage(*world, plain.size()));
}

TEST_F(Training, WindowStaysAfterTheEndAndItsCurveComesBack) {
    fill("400", "10");
    world->placeRobotAndGoal();
    world->recordTrailPose();
    const World::Placement placed = world->placement();
    bool stayedOpen = false;
    // With the reachable share asked for: searched after the runs, drawn on the curve.
    const QString summary = train(path("eval.dat"), &stayedOpen, true);
    EXPECT_TRUE(summary.startsWith("Ran 400 training iterations"));
    EXPECT_TRUE(stayedOpen);

    // The robot and the goal are back where they were, and the view shows them there.
    EXPECT_EQ(world->rear, placed.robot.rear);
    EXPECT_EQ(world->heading, placed.robot.heading);
    EXPECT_EQ(world->goal, placed.goal);
    EXPECT_EQ(world->trailCount, 0);
    const QImage shown = dialog->view()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, renderWorldImage(*world, shown.size()));

    QAction* lastCurve = nullptr;
    for (QAction* a : dialog->actions()) {
        if (a->text() == "Show Last Learning Curve") {
            lastCurve = a;
        }
    }
    ASSERT_NE(lastCurve, nullptr);
    double share = -1;
    std::vector<double> reachable;
    answerNextModal(isOther, [&](QWidget* w) {
        if (CurveChart* chart = dialog->openPlot()) {
            share = chart->shareAt(0, 390) + chart->shareAt(1, 390) + chart->shareAt(2, 390);
            reachable = chart->reachableShares();
        }
        qobject_cast<QDialog*>(w)->accept();
    });
    lastCurve->trigger();
    EXPECT_DOUBLE_EQ(share, 1); // the shares of the last evaluation, all three
    ASSERT_EQ(reachable.size(), 1u);
    EXPECT_GT(reachable[0], 0);
    EXPECT_LE(reachable[0], 1);
}

TEST_F(Dialog, RecordsAPlaybackFromTheContextMenu) {
    world->goal = {150, 150};
    dialog->findChildren<QCheckBox*>()[1]->setChecked(true); // trails: a pose a tick
    QAction* record = nullptr;
    for (QAction* a : dialog->actions()) {
        if (a->text() == "Record Playback...") {
            record = a;
        }
    }
    ASSERT_NE(record, nullptr);
    chooseFile(path("play.gif"));
    record->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return world->trailCount >= 3; }, 20000));
    QTest::mouseClick(button(dialog.get(), "Stop Playback"), Qt::LeftButton);
    const int ticks = world->trailCount;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path("play.gif").c_str(), &error);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    EXPECT_EQ(gif->ImageCount, ticks);
    const qreal ratio = dialog->view()->devicePixelRatioF();
    EXPECT_EQ(gif->SWidth, static_cast<int>(dialog->view()->width() * ratio));
    EXPECT_EQ(gif->SHeight, static_cast<int>(dialog->view()->height() * ratio));
    DGifCloseFile(gif, &error);
}

TEST_F(Dialog, PlotsAnEvaluationLogFromTheContextMenu) {
    {
        std::ofstream log(path("known.dat"));
        for (int i = 0; i < 40; ++i) {
            log << (i < 20 ? "0,0,1,1.0,1.0,1.0, 1.4\n" : "1,1,5,1.0,1.0,1.0, 1.4\n");
        }
    }
    // Both files exist before the first file dialog lists the folder.
    std::ofstream(path("bad.dat")) << "0,0,1,1.0,1.0,1.0, 1.4\n0,0,1,1.0\n";
    QAction* plot = nullptr;
    for (QAction* a : dialog->actions()) {
        if (a->text() == "Plot Evaluation Log...") {
            plot = a;
        }
    }
    ASSERT_NE(plot, nullptr);
    chooseFile(path("known.dat"));
    double shares[3] = {-1, -1, -1};
    answerNextModal(isOther, [&](QWidget* w) {
        CurveChart* chart = dialog->openPlot();
        if (chart != nullptr) {
            shares[0] = chart->shareAt(1, 20); // collisions at evaluation 20
            shares[1] = chart->shareAt(0, 25); // goals at 25: 5 of the last 10
            shares[2] = chart->shareAt(0, 40);
            w->grab().save("plot-window.png");
        }
        qobject_cast<QDialog*>(w)->accept();
    });
    plot->trigger();
    EXPECT_EQ(shares[0], 1);
    EXPECT_EQ(shares[1], 0.5);
    EXPECT_EQ(shares[2], 1);

    std::vector<QString> texts;
    chooseFile(path("bad.dat"));
    closeMessage(&texts);
    plot->trigger();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0].startsWith("Line 2 of \"")) << texts[0].toStdString();
}

} // namespace
} // namespace quorvel

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    quorvel::testing::useTheTestDisplay();
    // A user whose numbers have decimal commas, and whose home is the test folder (where
    // ~/nnet_backup goes).
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    setenv("HOME", std::filesystem::current_path().c_str(), 1);
    quorvel::CMainApp app(argc, argv);
    return RUN_ALL_TESTS();
}
