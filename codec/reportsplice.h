#ifndef KWN_CODEC_REPORTSPLICE_H
#define KWN_CODEC_REPORTSPLICE_H

// Between the report writers and the UTF-8 writer that splices a line's own
// bytes into the report (reportwriters.cpp, reportutf8.cpp).

#include "codec/framereport.h"

#include <QString>

// Where the input text and the frame's bytes as hexadecimal text go in the
// output, when they are written apart from it.
struct ReportSplice
{
    int inputAt = -1;
    int bytesAt = -1; // the formatter leaves the bytes text out
};

// appendReport, filling in `*splice` when given.
void appendReportSpliced(ReportStyle style, const FrameReport &report, QString &out, ReportSplice *splice);

#endif
