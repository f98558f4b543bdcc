// The application object: start-up with its two process roles (Windows only).
#pragma once

#include <string>

class CUpdateApp {
public:
    // `commandLine` is the text after the program name (UTF-16), as WinMain receives it.
    explicit CUpdateApp(std::wstring commandLine) : commandLine_(std::move(commandLine)) {}

    // Runs the whole start-up and, for the updater, the window. The process ends when it
    // returns: no message loop follows.
    void InitInstance();

    const std::wstring& commandLine() const { return commandLine_; }

private:
    std::wstring commandLine_;
};

// The roles, each run after the tool's directory is current and the single-instance lock
// is held. `directory` is the tool's directory without a trailing separator.
// The running executable's full path (room for 260 characters); empty on failure.
std::wstring RunningExecutablePath();

void RunLauncher(const std::wstring& directory, const std::wstring& commandLine, bool newBuild);
void RunUpdater(const std::wstring& directory, const std::wstring& commandLine);
