#ifndef KWN_FILTER_FILTERTOKENS_H
#define KWN_FILTER_FILTERTOKENS_H

// The words of a filter expression, each with the column where it starts.

#include <QString>
#include <QVector>

struct FilterError;

struct FilterToken
{
    enum Kind {
        End,
        Name,      // a field name or a keyword, as written
        Parameter, // "[name]": text holds the name, trimmed
        Number,
        String,    // text holds the characters, escapes undone
        Open,
        Close,
        OpenSet,
        CloseSet,
        Comma,
        Equal,
        NotEqual,
        Less,
        LessEqual,
        Greater,
        GreaterEqual,
        BitAnd,
        AndAnd,
        OrOr,
        Bang,
    };
    Kind kind = End;
    QString text; // as written, but for Parameter and String
    qint64 number = 0;
    int column = 0; // 1-based
};

// The tokens of `text`, the last of kind End (at the column after the
// text). False with `error` filled for a text that is no sequence of tokens.
bool tokenizeFilter(const QString &text, QVector<FilterToken> *tokens, FilterError *error);

#endif
