#pragma once
// The program without a window: the identify report, the SMART table and the
// surface scan of one channel, printed for a terminal or a script.  The same decoder and the
// same scan engine as the windows do the work.
#include <QString>
#include <QStringList>
#include <cstdio>

#include "app/CommandLine.h"
#include "app/ConnectRules.h"

// Exit statuses of the console commands.
enum ConsoleExit : int {
    kExitOk = 0,           // all well
    kExitFindings = 1,     // the scan found warnings or errors
    kExitUsage = 2,        // a mistake in the options
    kExitDrive = 3,        // the channel or the drive failed
    kExitOutput = 4,       // the report could not be written
    kExitInterrupted = 130,  // stopped by Ctrl+C (the report is still complete)
};

// --channel: "01F0" and "0170" alone (their control registers 03F6 and 0376
// implied), otherwise BASE:CONTROL as the selection dialog's columns show
// them (CONTROL + 2 is the alternate status register, except on 01F0 and
// 0170).
bool ParseChannelOption(const QString& text, ChannelPorts& out, QString* error);

namespace ata {
struct Result;
}

// A failed command in words, for standard error.
QString DescribeResult(const ata::Result& r);

struct ConsoleStreams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool progress = false;  // draw the progress line on `err`
    QString exeDir;         // where Voran.ini is read; empty: the executable's directory
};

// Runs --identify, --smart or --scan.  Needs a QCoreApplication (the scan's steps run
// on its thread) and the port backend installed.
int RunConsoleCommand(const CommandLineOptions& options, const ConsoleStreams& io);

// At process start: fills closed standard descriptors so that no file of
// ours takes their place, and ignores SIGPIPE so that a reader that goes
// away is a write error (exit status 4) rather than a silent death.
void PrepareStandardStreams();

// Writes `text` (UTF-8) and flushes; false with the reason when the stream
// failed (a full disk, a closed descriptor, a reader that went away).
bool WriteStandardText(std::FILE* f, const QString& text, QString* why = nullptr);
