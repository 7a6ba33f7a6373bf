#include "sq_web/app/qt_toolkit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <mutex>
#include <optional>

#include "sq_web/app/codepage.h"

namespace ravelin {

namespace {

QString from_ansi(std::string_view s) {
  QString out;
  out.reserve(static_cast<qsizetype>(s.size()));
  for (unsigned char c : s) out.append(QChar(ansi_to_unicode(c)));
  return out;
}

std::string to_ansi(const QString& s) {
  std::string out;
  out.reserve(static_cast<size_t>(s.size()));
  for (QChar c : s) {
    int b = unicode_to_ansi(c.unicode());
    out += static_cast<char>(b < 0 ? '?' : b);
  }
  return out;
}

// Code page 850 bytes as the log control shows them; the device's own line ends become lines.
QString from_oem(std::string_view s) {
  QString out;
  out.reserve(static_cast<qsizetype>(s.size()));
  for (unsigned char c : s) out.append(QChar(cp850_to_unicode(c)));
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QChar('\r'), QChar('\n'));
  return out;
}

// The program's icon: a small gauge, drawn in the 16 classic colours.
QIcon program_icon() {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::darkBlue);
  p.drawRect(1, 1, 29, 29);
  p.setBrush(Qt::white);
  p.drawPie(5, 7, 22, 22, 0, 180 * 16);
  p.setPen(QPen(Qt::red, 2));
  p.drawLine(16, 18, 23, 10);
  p.setPen(QPen(Qt::yellow, 2));
  p.drawLine(5, 25, 27, 25);
  return QIcon(pm);
}

class MainWindow : public QWidget {
 public:
  std::function<void()> on_close;

 protected:
  void closeEvent(QCloseEvent* e) override {
    e->ignore();  // the close callback decides; it normally ends the process
    if (on_close) on_close();
  }
};

QRect qt_rect(Rect r) {
  Rect t = WindowLayout::top_left(r, WindowLayout::kHeight);
  return QRect(t.x, t.y, t.w, t.h);
}

class QtToolkit : public QObject, public Toolkit {
 public:
  QtToolkit() { qApp->installEventFilter(this); }
  ~QtToolkit() override {
    qApp->removeEventFilter(this);
    delete window_.data();
  }

  void build_window(const WindowSetup& setup, WindowCallbacks callbacks) override {
    auto* w = new MainWindow;
    w->setObjectName("ravelin-window");
    w->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    w->setWindowTitle(from_ansi(setup.title));
    w->setWindowIcon(program_icon());
    w->setFixedSize(WindowLayout::kWidth, WindowLayout::kHeight);
    w->on_close = [this, cb = callbacks.on_close] {
      if (cb) cb();
      leave(LoopExit::closed);  // reached only when the callback did not end the process
    };
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    w->setFont(font);

    sle_ = new QLineEdit(w);
    sle_->setObjectName("oSLE1");
    sle_->setGeometry(qt_rect(WindowLayout::kSendLine));
    sle_->setFocusPolicy(Qt::StrongFocus);
    QObject::connect(sle_, &QLineEdit::textChanged, this, [this](const QString& t) {
      std::lock_guard lk(mu_);
      send_line_ = to_ansi(t);
    });

    mle_ = new QPlainTextEdit(w);
    mle_->setObjectName("oMLE1");
    mle_->setGeometry(qt_rect(WindowLayout::kLog));
    mle_->setReadOnly(true);
    mle_->setFocusPolicy(Qt::NoFocus);
    mle_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mle_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mle_->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    btn_ = new QPushButton(QStringLiteral("SET"), w);
    btn_->setObjectName("oBT1");
    btn_->setGeometry(qt_rect(WindowLayout::kButton));
    btn_->setFocusPolicy(Qt::StrongFocus);
    btn_->setAutoDefault(false);  // Enter in the send line must not press it
    btn_->setDefault(false);
    QObject::connect(btn_, &QPushButton::clicked, this, [cb = callbacks.on_set] {
      if (cb) cb();
    });
    QWidget::setTabOrder(sle_, btn_);
    // Edit fields and the button keep the platform palette's colours for them (Base, Button,
    // ButtonText), which is what the system colours mean here.

    window_ = w;
    apply_log();
    apply_button();
    btn_->show();
    w->show();
    place(setup);
  }

  void message_box(std::string_view text, std::string_view title) override {
    QMessageBox box(QMessageBox::NoIcon,
                    title.empty() ? QStringLiteral("ravelin") : from_ansi(title), from_ansi(text),
                    QMessageBox::Ok, window_.data());
    box.exec();
  }

  LoopExit run_loop() override {
    if (pending_exit_) return *pending_exit_;
    QEventLoop loop;
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;
    return pending_exit_.value_or(LoopExit::escape);
  }

  void set_log(std::string oem_text) override {
    {
      std::lock_guard lk(mu_);
      log_ = std::move(oem_text);
      log_dirty_ = true;
    }
    post([this] { apply_log(); });
  }

  std::string send_line() override {
    std::lock_guard lk(mu_);
    return send_line_;
  }

  void set_button_enabled(bool enabled) override {
    {
      std::lock_guard lk(mu_);
      button_enabled_ = enabled;
    }
    post([this] { apply_button(); });
  }

 protected:
  bool eventFilter(QObject* obj, QEvent* ev) override {
    if (ev->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(ev)->key() == Qt::Key_Escape) {
      auto* widget = qobject_cast<QWidget*>(obj);
      if (widget && window_ && widget->window() == window_.data()) {
        leave(LoopExit::escape);
        return true;  // not handed on
      }
    }
    return QObject::eventFilter(obj, ev);
  }

 private:
  void leave(LoopExit how) {
    if (!pending_exit_) pending_exit_ = how;
    if (loop_) loop_->exit();
  }

  // Runs `f` on the GUI thread: at once when called there, else posted (never waited for).
  template <class F>
  void post(F f) {
    if (QThread::currentThread() == thread()) {
      f();
    } else {
      QMetaObject::invokeMethod(this, f, Qt::QueuedConnection);
    }
  }

  void apply_log() {
    std::string text;
    {
      std::lock_guard lk(mu_);
      if (!log_dirty_ || !mle_) return;
      log_dirty_ = false;
      text = log_;
    }
    mle_->setPlainText(from_oem(text));
  }

  void apply_button() {
    bool on;
    {
      std::lock_guard lk(mu_);
      on = button_enabled_;
    }
    if (btn_) btn_->setEnabled(on);
  }

  // Puts the window's lower-left corner at x, y from the screen's lower-left corner.
  void place(const WindowSetup& setup) {
    QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect area = screen->geometry();
    int frame_h = window_->frameGeometry().height();
    window_->move(area.left() + static_cast<int>(setup.x),
                  area.top() + area.height() - static_cast<int>(setup.y) - frame_h);
  }

  QPointer<MainWindow> window_;
  QLineEdit* sle_ = nullptr;
  QPlainTextEdit* mle_ = nullptr;
  QPushButton* btn_ = nullptr;
  QEventLoop* loop_ = nullptr;
  std::optional<LoopExit> pending_exit_;

  std::mutex mu_;  // what other threads hand over
  std::string log_;
  bool log_dirty_ = false;
  std::string send_line_;
  bool button_enabled_ = true;
};

}  // namespace

std::unique_ptr<Toolkit> make_qt_toolkit() { return std::make_unique<QtToolkit>(); }

}  // namespace ravelin
