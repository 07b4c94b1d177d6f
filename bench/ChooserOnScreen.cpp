#include "ChooserOnScreen.h"

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>

extern char** environ;

namespace ChooserOnScreen {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A process started with some variables of the environment replaced; ended
// (SIGTERM) and waited for when it goes.
class Process {
  public:
    Process(const QStringList& arguments, const std::vector<QByteArray>& settings) {
        std::vector<QByteArray> environment = settings;
        for (char** variable = environ; *variable; ++variable) {
            const QByteArray entry(*variable);
            const QByteArray name = entry.left(entry.indexOf('=') + 1);
            bool replaced = false;
            for (const QByteArray& setting : settings) replaced |= setting.startsWith(name);
            if (!replaced) environment.push_back(entry);
        }
        std::vector<QByteArray> args;
        for (const QString& argument : arguments) args.push_back(QFile::encodeName(argument));
        std::vector<char*> argv, envp;
        for (QByteArray& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (QByteArray& e : environment) envp.push_back(e.data());
        envp.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) pid_ = 0;
    }
    ~Process() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    bool Started() const { return pid_ > 0; }

  private:
    pid_t pid_ = 0;
};

// Waits until found() holds, trying every millisecond; false after `seconds`.
bool WaitFor(double seconds, const std::function<bool()>& found) {
    const auto start = Clock::now();
    while (!found()) {
        if (SecondsSince(start) > seconds) return false;
        QThread::usleep(1000);
    }
    return true;
}

// A top-level window that shows, its title beginning with `title`.
Window FindWindow(Display* display, Window at, const char* title) {
    char* name = nullptr;
    if (XFetchName(display, at, &name) && name) {
        const bool match = std::strncmp(name, title, std::strlen(title)) == 0;
        XFree(name);
        XWindowAttributes attributes;
        if (match && XGetWindowAttributes(display, at, &attributes) &&
            attributes.map_state == IsViewable)
            return at;
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display, at, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i)
            found = FindWindow(display, children[i], title);
        if (children) XFree(children);
    }
    return found;
}

// Whether the list's rows show: its area mostly the white of a list, with the
// dark pixels of text in it (before the dialog paints, the area holds what lay
// beneath it: the grey import window or the black screen).
bool ListShows(Display* display, Window dialog) {
    constexpr int kLeft = 16, kTop = 60, kWidth = 500, kHeight = 190;  // below the list's header
    XImage* image = XGetImage(display, dialog, kLeft, kTop, kWidth, kHeight, AllPlanes, ZPixmap);
    if (!image) return false;
    long white = 0, dark = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            const unsigned long r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
            if (r > 230 && g > 230 && b > 230) ++white;
            if (r < 100 && g < 100 && b < 100) ++dark;
        }
    XDestroyImage(image);
    const long all = static_cast<long>(kWidth) * kHeight;
    return white > all * 6 / 10 && dark > all / 300;
}

// The X server to use: the one DISPLAY names, else an Xvfb of our own.
struct Server {
    QByteArray display;
    std::unique_ptr<Process> xvfb;
};

std::optional<Server> OpenServer(QString& why) {
    Server server;
    server.display = qgetenv("DISPLAY");
    if (!server.display.isEmpty()) return server;
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        why = QStringLiteral("no DISPLAY and no Xvfb");
        return std::nullopt;
    }
    int number = 90;
    while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number))) ++number;
    server.display = ":" + QByteArray::number(number);
    server.xvfb = std::make_unique<Process>(
        QStringList{xvfb, QString::fromLatin1(server.display), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")},
        std::vector<QByteArray>{});
    if (!WaitFor(10,
                 [&] { return QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)); })) {
        why = QStringLiteral("Xvfb did not start");
        return std::nullopt;
    }
    return server;
}

// One run: the window started, its binoculars clicked; the seconds until the
// chooser's list shows, or a negative number when it did not within 30 s.
double OneClick(Display* display, const QByteArray& displayName, const QString& windowProgram,
                const QString& configHome, const QString& xdotool) {
    Process window({windowProgram},
                   {"DISPLAY=" + displayName, "QT_QPA_PLATFORM=xcb", "LANG=de_DE.UTF-8",
                    "LC_ALL=de_DE.UTF-8", "XDG_CONFIG_HOME=" + QFile::encodeName(configHome)});
    Window main = 0;
    if (!window.Started() || !WaitFor(30, [&] {
            return (main = FindWindow(display, DefaultRootWindow(display),
                                      "QuorvinStudio - Sprache importieren")) != 0;
        }))
        return -1;
    QThread::msleep(500);  // the window painted and idle, as a user finds it
    // The binoculars beside "Projektname", in the middle.
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, main, DefaultRootWindow(display), 215, 44, &x, &y, &child);
    const auto start = Clock::now();
    Process click({xdotool, QStringLiteral("mousemove"), QString::number(x), QString::number(y),
                   QStringLiteral("click"), QStringLiteral("1")},
                  {"DISPLAY=" + displayName});
    Window dialog = 0;
    const bool shown = WaitFor(30, [&] {
        if (!dialog) dialog = FindWindow(display, DefaultRootWindow(display), "QuorvinStudio:");
        return dialog && ListShows(display, dialog);
    });
    return shown ? SecondsSince(start) : -1;
}

}  // namespace

std::optional<std::vector<double>> Measure(const QString& windowProgram, const QString& configHome,
                                           int runs, QString& why) {
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (xdotool.isEmpty()) {
        why = QStringLiteral("no xdotool");
        return std::nullopt;
    }
    std::optional<Server> server = OpenServer(why);
    if (!server) return std::nullopt;
    Display* display = nullptr;
    WaitFor(10, [&] { return (display = XOpenDisplay(server->display.constData())) != nullptr; });
    if (!display) {
        why = QStringLiteral("cannot open display ") + QString::fromLatin1(server->display);
        return std::nullopt;
    }
    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run) {
        const double s = OneClick(display, server->display, windowProgram, configHome, xdotool);
        if (s < 0) {
            why = QStringLiteral("the chooser did not show within 30 s");
            XCloseDisplay(display);
            return std::nullopt;
        }
        seconds.push_back(s);
    }
    XCloseDisplay(display);
    return seconds;
}

}  // namespace ChooserOnScreen
