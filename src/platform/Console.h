#pragma once

#include <QString>

// Where the bracketed console lines ("[Engine] …") go: standard output for real, a list in tests.
class Console {
public:
    virtual ~Console() = default;
    virtual void print(const QString& line) = 0;
};

// Writes each line to standard output and flushes it at once.
class StdoutConsole final : public Console {
public:
    void print(const QString& line) override;
};
