#pragma once

#include <QString>

#include <memory>

// Find and replace with a Perl-compatible regular expression over UTF-16 text and a
// replacement template ($1, ${name}, \U1, $&, ...). The pattern is compiled once,
// so one replacer serves a whole preview.
class RegexReplacer
{
public:
    // Throws TessalyError "Error in regular expression at offset %d: %s" for a
    // pattern that does not compile.
    RegexReplacer(const QString &pattern, const QString &replacementTemplate);
    ~RegexReplacer();
    RegexReplacer(const RegexReplacer &) = delete;
    RegexReplacer &operator=(const RegexReplacer &) = delete;

    // Replaces every non-empty match, left to right, without overlaps; the search
    // goes on after each inserted text.
    QString replaceAll(const QString &text);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
