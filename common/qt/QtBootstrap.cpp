#include "common/qt/QtBootstrap.h"

#include <dlfcn.h>

#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QLocale>
#include <QPluginLoader>
#include <QThread>
#include <QTranslator>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

namespace tessel::qt {

namespace {

const char* const kNoDisplay = "Нет дисплея для окон драйвера";
const char* const kNoWidgets =
    "Окна драйвера не могут быть показаны: объект приложения Qt этой программы не поддерживает окна "
    "(нужен QApplication)";
const char* const kOtherThread =
    "Окна драйвера открываются только в потоке окон программы, а вызов пришёл из другого потока";

// "name:options" -> "name".
std::string PlatformName(const std::string& entry) {
    return entry.substr(0, entry.find(':'));
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        const std::string part =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!part.empty()) parts.push_back(part);
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

std::optional<std::string> EnvValue(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

// The folders in which Qt looks for platform plugins, in its order.
QStringList PlatformPluginFolders() {
    QStringList folders;
    if (auto dir = EnvValue("QT_QPA_PLATFORM_PLUGIN_PATH")) folders << QString::fromStdString(*dir);
    if (auto paths = EnvValue("QT_PLUGIN_PATH"))
        for (const std::string& p : Split(*paths, ':')) folders << QString::fromStdString(p) + "/platforms";
    folders << QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms";
    return folders;
}

// The plugin file whose metadata lists `name` among its keys; empty when none does.
QString FindPlatformPlugin(const std::string& name) {
    const QString key = QString::fromStdString(name);
    for (const QString& folder : PlatformPluginFolders()) {
        const QDir dir(folder);
        for (const QString& file : dir.entryList(QDir::Files)) {
            QPluginLoader loader(dir.filePath(file));
            const QJsonArray keys = loader.metaData().value("MetaData").toObject().value("Keys").toArray();
            for (const auto& k : keys)
                if (k.toString().compare(key, Qt::CaseInsensitive) == 0) return dir.filePath(file);
        }
    }
    return {};
}

bool SystemPluginLoads(const std::string& platform, std::string& why) {
    const std::string name = PlatformName(platform);
    const QString file = FindPlatformPlugin(name);
    if (file.isEmpty()) {
        why = "модуль платформы Qt «" + name + "» не найден";
        return false;
    }
    QPluginLoader loader(file);
    if (!loader.load()) {
        why = "модуль платформы Qt «" + name + "» не загружается: " + loader.errorString().toStdString();
        return false;
    }
    return true;
}

// Opens the display once with the client library the platform plugin itself uses, then closes it. The
// library is loaded at run time: a host without it simply has no such display.
template <typename Connect, typename Broken, typename Close>
bool TryDisplay(const char* library, const char* connectName, const char* brokenName, const char* closeName,
                const std::function<bool(Connect, Broken, Close)>& attempt, std::string& why) {
    void* lib = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        why = std::string("нет библиотеки ") + library;
        return false;
    }
    auto connect = reinterpret_cast<Connect>(::dlsym(lib, connectName));
    auto broken = brokenName != nullptr ? reinterpret_cast<Broken>(::dlsym(lib, brokenName)) : nullptr;
    auto close = reinterpret_cast<Close>(::dlsym(lib, closeName));
    const bool ok = connect != nullptr && close != nullptr && attempt(connect, broken, close);
    ::dlclose(lib);
    return ok;
}

bool SystemDisplayReachable(const std::string& platform, std::string& why) {
    const std::string name = PlatformName(platform);
    if (name == "xcb") {
        using Connect = void* (*)(const char*, int*);
        using Broken = int (*)(void*);
        using Close = void (*)(void*);
        const std::string display = EnvValue("DISPLAY").value_or("");
        const bool ok = TryDisplay<Connect, Broken, Close>(
            "libxcb.so.1", "xcb_connect", "xcb_connection_has_error", "xcb_disconnect",
            [](Connect connect, Broken broken, Close close) {
                void* c = connect(nullptr, nullptr);
                // xcb_connect never returns null: a failed connection is an object in an error state.
                const bool good = c != nullptr && broken != nullptr && broken(c) == 0;
                if (c != nullptr) close(c);
                return good;
            },
            why);
        if (!ok && why.empty()) why = "X-дисплей «" + display + "» недоступен";
        return ok;
    }
    if (name.rfind("wayland", 0) == 0) {
        using Connect = void* (*)(const char*);
        using Broken = void (*)();
        using Close = void (*)(void*);
        const std::string display = EnvValue("WAYLAND_DISPLAY").value_or("wayland-0");
        const bool ok = TryDisplay<Connect, Broken, Close>(
            "libwayland-client.so.0", "wl_display_connect", nullptr, "wl_display_disconnect",
            [](Connect connect, Broken, Close close) {
                void* d = connect(nullptr);
                if (d != nullptr) close(d);
                return d != nullptr;
            },
            why);
        if (!ok && why.empty()) why = "Wayland-дисплей «" + display + "» недоступен";
        return ok;
    }
    return true;
}

// A program name for the application object: the host's executable.
std::string HostProgramName() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("tessel") : exe.filename().string();
}

}  // namespace

std::string ChoosePlatform(const TPlatformProbe& probe) {
    std::vector<std::string> candidates;
    if (auto list = probe.env("QT_QPA_PLATFORM")) {
        candidates = Split(*list, ';');
    } else {
        if (probe.env("DISPLAY")) candidates.push_back("xcb");
        if (probe.env("WAYLAND_DISPLAY")) candidates.push_back("wayland");
    }
    if (candidates.empty())
        throw EQtUnavailable(std::string(kNoDisplay) +
                             ": не заданы переменные окружения DISPLAY, WAYLAND_DISPLAY и QT_QPA_PLATFORM");
    std::string reasons;
    for (const std::string& candidate : candidates) {
        std::string why;
        if (probe.pluginLoads(candidate, why) && probe.displayReachable(candidate, why)) return candidate;
        reasons += (reasons.empty() ? "" : "; ") + why;
    }
    throw EQtUnavailable(std::string(kNoDisplay) + ": " + reasons);
}

TPlatformProbe SystemProbe() {
    return {EnvValue, SystemPluginLoads, SystemDisplayReachable};
}

QApplication& ApplicationForThisThread() {
    static std::mutex creating;
    std::lock_guard lock(creating);
    if (QCoreApplication* app = QCoreApplication::instance()) {
        auto* widgets = qobject_cast<QApplication*>(app);
        if (widgets == nullptr) throw EQtUnavailable(kNoWidgets);
        if (app->thread() != QThread::currentThread()) throw EQtUnavailable(kOtherThread);
        return *widgets;
    }
    // Qt keeps pointers to the arguments for the life of the object.
    static std::string program = HostProgramName();
    static std::string platformOption = "-platform";
    static std::string platform;
    platform = ChoosePlatform(SystemProbe());
    static int argc = 3;
    static char* argv[] = {program.data(), platformOption.data(), platform.data(), nullptr};
    // Kept for the life of the process: the host calls again, and a process has one application object.
    static QApplication* const created = new QApplication(argc, argv);
    created->setQuitOnLastWindowClosed(false);
    InstallQtTranslations(*created);
    return *created;
}

void InstallQtTranslations(QCoreApplication& app) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), "qtbase", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return;
    // The application object owns it from here on.
    translator->setParent(&app);
    QCoreApplication::installTranslator(translator.release());
}

}  // namespace tessel::qt
