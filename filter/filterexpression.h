#ifndef KWN_FILTER_FILTEREXPRESSION_H
#define KWN_FILTER_FILTEREXPRESSION_H

// Filter expressions: a question asked of each decoded frame, such as
//   [Position] > 80 and message == "Move down"
//   not checksum_ok or source == "3a0c51"
// compiled once and then evaluated over many frames. A frame is read as the
// facts that `decode --json` prints of it (FilterFrame), so that every place
// that filters selects the same frames.
//
// Grammar (`not` binds tightest, then `and`, then `or`):
//   expression := conjunction (("or" | "||") conjunction)*
//   conjunction := negation (("and" | "&&") negation)*
//   negation   := ("not" | "!") negation | "(" expression ")" | test
//   test       := field [operator value | "in" "{" value ("," value)* "}"]
//   field      := device | message | status | source | destination | mode
//               | direction | ack | checksum_ok | node_type | "[" name "]"
//   operator   := == | != | < | <= | > | >= | contains | matches | &
//   value      := integer (decimal or 0x hexadecimal, with a sign)
//               | "string" (with \" and \\) | true | false

#include "filter/filterframe.h"

#include <QSet>
#include <QString>

#include <memory>

struct FilterError
{
    QString what;    // "expected a value after \"==\""
    int column = 0;  // 1-based, in characters of the expression
    // "expected a value after \"==\" at column 10"
    QString text() const;
};

class FilterExpression
{
public:
    // The empty filter: every frame matches.
    FilterExpression();
    ~FilterExpression();
    FilterExpression(FilterExpression &&) noexcept;
    FilterExpression &operator=(FilterExpression &&) noexcept;

    // Compiles `text`. A parameter name must be one of `parameterNames` (the
    // names of the catalogue's parameters). On a refusal returns the empty
    // filter and fills `error`.
    static FilterExpression compile(const QString &text, const QSet<QString> &parameterNames,
                                    FilterError *error);

    bool isEmpty() const { return !m_program; }
    bool matches(const FilterFrame &frame) const;
    // The parameter names the expression reads, each once, in the order
    // FilterFrame::parameter is asked for them (its `index`).
    const QStringList &parameterNames() const;

    struct Program;
    // The compiled tree (filterprogram.h), for translators; none when empty.
    const Program *program() const { return m_program.get(); }

private:
    std::unique_ptr<Program> m_program;
};

// Every parameter name of the catalogue's messages, every revision.
QSet<QString> catalogueParameterNames(const ProfileMap &profiles);

#endif
