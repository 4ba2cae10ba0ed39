#pragma once
// The one checked reader of the program's text tables and inputs: the whole
// text is held in memory, walked line by line, split into blank-separated
// fields, and numbers are taken only when the whole field is one finite
// number. Every complaint is one line naming the file and the line.
#include <string>
#include <string_view>
#include <vector>

namespace lorvane {

class TableText {
public:
    // Reads path (plain or gzip). A file that cannot be read stops with
    // "cannot open <what> <path>", one without a non-blank character with
    // "<path> is empty".
    static TableText read(const std::string& path, const std::string& what);
    // A text already in memory (tests, fuzzers); name stands for the file in messages.
    TableText(std::string name, std::string text);

    const std::string& name() const { return name_; }
    const std::string& text() const { return text_; }

    // The next line (carriage return dropped); false at the end of the text.
    bool next(std::string_view& line);
    // Number of the last line returned by next (1-based; 0 before the first).
    int line() const { return line_; }
    // Back to the first line.
    void rewind();

    // Blank-separated fields of a line (views into the text, valid as long as this object).
    const std::vector<std::string_view>& fields(std::string_view line);

    // "<name> line <n>: what" (the last line returned), as a data error.
    [[noreturn]] void fail(const std::string& what) const;
    // "<name> line <n>: what" for another line n.
    [[noreturn]] void failAt(int line, const std::string& what) const;
    // "<name>: what", for the file as a whole.
    [[noreturn]] void failFile(const std::string& what) const;

    // The whole field as a finite number, else stops naming the field.
    double number(std::string_view field) const;
    // The whole field as an int, else stops naming the field.
    int integer(std::string_view field) const;
    // An int in lo..hi, else stops naming what it is.
    int integer(std::string_view field, int lo, int hi, const char* what) const;
    // Stops unless f has exactly n fields.
    void expectFields(const std::vector<std::string_view>& f, size_t n, const char* what) const;

private:
    std::string name_;
    std::string text_;
    size_t at_ = 0;
    int line_ = 0;
    std::vector<std::string_view> fields_;
};

// Quotes a field for a message, shortened when long.
std::string quoted(std::string_view field);

}  // namespace lorvane
