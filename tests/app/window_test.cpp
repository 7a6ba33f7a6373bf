// The real window (Qt, offscreen) and the real termios service against the device simulator,
// driven in-process: SET, Enter, Tab, Escape, the close button, message boxes and a screenshot.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "sq_web/app/app.h"
#include "sq_web/app/module.h"
#include "sq_web/app/qt_toolkit.h"
#include "sq_web/serial/serial_link.h"
#include "sq_web/serial/serial_service.h"
#include "tests/support/ravelin_test_support.h"

namespace ravelin {
namespace {

using namespace std::chrono_literals;

using test::DevSim;
using test::TempDir;
using test::wait_until;


QWidget* main_window() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "ravelin-window") return w;
  return nullptr;
}

std::string log_shown() {
  QWidget* w = main_window();
  auto* mle = w ? w->findChild<QPlainTextEdit*>("oMLE1") : nullptr;
  return mle ? mle->toPlainText().toStdString() : "";
}

struct Box {
  std::string title, text;
};

// One run of MAIN in a working directory of its own. Steps run one after the other from a timer
// inside the event loop (and inside message boxes); each returns true when it is done.
class WindowRun {
 public:
  WindowRun(const DevSim& sim, const std::string& device, const std::string& extra_ini = "") {
    std::ofstream(dir_.path() + "/config.ini", std::ios::binary)
        << "DEVICE|" << device << "\r\nWEBPORT|" << test::free_tcp_port() << "\r\n"
        << extra_ini;
    (void)sim;
  }

  int run(std::vector<std::function<bool()>> steps) {
    auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    toolkit = make_qt_toolkit();
    MainServices s;
    s.toolkit = toolkit.get();
    s.serial = serial.get();
    s.listener = [this](long) {
      struct L : Listener {
        WindowRun* r;
        void start() override { r->listener_started = true; }
        void stop() override { r->listener_stopped = true; }
      };
      auto l = std::make_unique<L>();
      l->r = this;
      return l;
    };
    s.end_process = [this](int) { ended = true; };

    size_t next = 0;
    QTimer timer;
    timer.setInterval(10);
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        boxes.push_back({box->windowTitle().toStdString(), box->text().toStdString()});
        box->accept();
        return;
      }
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "step " << next << " did not finish";
        next = steps.size();
        if (QWidget* w = main_window())
          QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, {}));
        return;
      }
      if (next < steps.size() && steps[next]()) ++next;
    });
    timer.start();
    APPSYS();
    int rc = MAIN(s);
    timer.stop();
    std::filesystem::current_path(old);
    return rc;
  }

  TempDir dir_;
  ScopedModule m;
  std::unique_ptr<SerialService> serial = make_system_serial_service();
  std::unique_ptr<Toolkit> toolkit;  // outlives MAIN, like the program's
  bool listener_started = false, listener_stopped = false, ended = false;
  std::vector<Box> boxes;
};

bool started_up() { return main_window() && log_shown().find("COM: H=4000") != std::string::npos; }

TEST(Window, SetEnterTabEscapeAndAScreenshot) {
  DevSim sim;
  WindowRun run(sim, sim.device());
  QLineEdit* sle = nullptr;
  QPushButton* btn = nullptr;
  run.run({
      started_up,
      [&] {
        QWidget* w = main_window();
        sle = w->findChild<QLineEdit*>("oSLE1");
        btn = w->findChild<QPushButton*>("oBT1");
        // The screenshot is the client area: 200 x 179 without title bar and frame.
        QPixmap shot = w->grab();
        shot.save(QString::fromStdString(test::output_dir() + "/main_window.png"));
        EXPECT_EQ(shot.size(), QSize(200, 179));
        EXPECT_EQ(w->windowTitle().toStdString(),
                  "PORTS WEB:" + std::to_string(module().WEBPORT) + " COM:1");
        EXPECT_FALSE(w->windowIcon().isNull());
        EXPECT_FALSE(w->windowFlags() &
                     (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        EXPECT_EQ(w->font().pointSize(), 8);
        EXPECT_EQ(btn->text(), "SET");
        EXPECT_EQ(sle->geometry(), QRect(12, 143, 120, 24));
        EXPECT_EQ(btn->geometry(), QRect(144, 143, 36, 24));
        EXPECT_EQ(w->findChild<QPlainTextEdit*>("oMLE1")->geometry(), QRect(12, 47, 168, 84));
        // Tab goes from the send line to the button; the log takes no focus.
        QWidget* next = sle->nextInFocusChain();
        while (next && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
        EXPECT_EQ(next, btn);
        EXPECT_EQ(w->findChild<QPlainTextEdit*>("oMLE1")->focusPolicy(), Qt::NoFocus);
        sle->setText("Q=5");
        sle->setFocus();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, {});
        QApplication::sendEvent(sle, &enter);
        return true;
      },
      [&] {
        // Enter sent nothing; SET sends exactly the three characters.
        EXPECT_EQ(sim.recorded(), "Q=4000H=4000");
        btn->click();
        EXPECT_EQ(sim.recorded(), "Q=4000H=4000Q=5");
        EXPECT_EQ(module().log.text(), "LOC: Q=5\r\nCOM: Q=5");
        EXPECT_TRUE(btn->isEnabled());
        return true;
      },
      [&] { return log_shown() == "LOC: Q=5\nCOM: Q=5\n"; },
      [&] {
        QCoreApplication::postEvent(sle, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, {}));
        return true;
      },
  });
  EXPECT_EQ(log_shown(), "LOC: Q=5\nCOM: Q=5\n");
  EXPECT_TRUE(run.listener_started);
  EXPECT_TRUE(run.listener_stopped);
  EXPECT_FALSE(run.ended);
  EXPECT_TRUE(run.boxes.empty());
  // The port is still open after Escape: the device still answers.
  EXPECT_EQ(COM_SENDEN("Q=6"), "Q=6");
  EXPECT_EQ(sim.events().find("close"), std::string::npos);
}

TEST(Window, CloseButtonClosesThePortAndPosIsFromTheLowerLeft) {
  DevSim sim;
  WindowRun run(sim, sim.device(), "POS|100,200\r\n");
  run.run({
      started_up,
      [&] {
        QWidget* w = main_window();
        QRect screen = w->screen()->geometry();
        QRect frame = w->frameGeometry();
        EXPECT_EQ(frame.left(), 100);
        EXPECT_EQ(screen.top() + screen.height() - (frame.top() + frame.height()), 200);
        w->close();
        return true;
      },
  });
  EXPECT_TRUE(run.ended);
  EXPECT_FALSE(run.listener_stopped);  // nothing after the loop runs
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_TRUE(wait_until([&] { return sim.events().find("close") != std::string::npos; }));
  EXPECT_FALSE(run.serial->COM_SEND(1, "x", 100));
}

TEST(Window, MissingDeviceShowsTheBoxesAndEnds) {
  DevSim sim;
  WindowRun run(sim, "/dev/pts/does-not-exist");
  run.run({});
  ASSERT_EQ(run.boxes.size(), 4u);
  EXPECT_EQ(run.boxes[0].text, "Fehler bei Copmort");
  EXPECT_EQ(run.boxes[0].title, "ravelin");
  EXPECT_EQ(run.boxes[1].text, "Fehler bei Copmort");
  EXPECT_EQ(run.boxes[2].text, "Fehler bei Com_ReadMode ");
  EXPECT_EQ(run.boxes[3].text, "COM 1 konnte nicht geschlossen werden");
  EXPECT_EQ(run.boxes[3].title, "Fehler:");
  EXPECT_TRUE(run.ended);
  EXPECT_FALSE(run.listener_started);
}

}  // namespace
}  // namespace ravelin

// The application object lives in main(), so that it goes before Qt's own globals do.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
