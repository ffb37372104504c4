#ifndef KWN_FILTER_RECORDFILTER_H
#define KWN_FILTER_RECORDFILTER_H

// The filter of the Bus page's rows: one text, read either as a filter
// expression or as the quick filter's words (BusFilter), and the question
// it asks of each record.
//
// A text is read as an expression when it looks like one (see
// looksLikeFilterExpression); one that looks like an expression but does not
// compile is refused, with what is wrong and where; any other text is words,
// as the field has always taken them ("Move down", "-noise", "3A0C51").
//
// An expression selects frames only, as `kwn-frame decode --filter` and
// `monitor --filter` do: noise runs and event rows are never selected. A
// frame is judged from its bytes and direction alone, by the quick reader
// of plain frames, or, for the few it leaves undecided, by the decoded
// report (remembered per distinct frame), so the page selects what the
// command line selects.

#include "codec/busrecord.h"
#include "filter/filterexpression.h"

#include <QHash>
#include <QString>

#include <memory>

class PlainFrameFilter;

// Whether `text` is meant as an expression rather than words: it holds one
// of == != < > & | ( ) [ ] { } outside double quotes (a quoted phrase of
// words may hold anything) or starts with !; or its first word is a
// field name followed by an operator word (contains, matches, in, and, or);
// or its first word is "not" followed by a field name. A single "=" does not
// count: "Position=75" is words, as the Values column writes them. Names
// and words are read ignoring case, as the expression's parser does.
bool looksLikeFilterExpression(const QString &text);

class RecordFilter
{
public:
    enum Kind { Words, Expression, Refused };

    // `text` as words, whatever it looks like.
    explicit RecordFilter(const QString &text = QString());
    // `text` as the field reads it, an expression compiled against the
    // catalogue's parameter names. The catalogue must outlive this.
    RecordFilter(const QString &text, DecodeCatalogue &catalogue);
    ~RecordFilter();
    RecordFilter(const RecordFilter &) = delete;
    RecordFilter &operator=(const RecordFilter &) = delete;

    Kind kind() const { return m_kind; }
    const QString &text() const { return m_text; }
    // What is wrong with a refused expression.
    const FilterError &error() const { return m_error; }
    // Every record passes: no words, or a refused expression.
    bool isEmpty() const;

    bool matches(const BusRecord &record) const;

private:
    bool frameMatches(const BusRecord &record) const;

    QString m_text;
    Kind m_kind = Words;
    BusFilter m_words;
    FilterExpression m_expression;
    FilterError m_error;
    DecodeCatalogue *m_catalogue = nullptr;
    std::unique_ptr<PlainFrameFilter> m_quick;
    // Verdicts of the general way, per direction and frame, for one
    // generation of the catalogue.
    mutable QHash<QByteArray, bool> m_decoded;
    mutable quint64 m_decodedGeneration = 0;
};

#endif
