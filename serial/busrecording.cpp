#include "serial/busrecording.h"

#include "capture/recordwriter.h"

namespace {

// "51 frames and 1 noise run"
QString savedText(const RecordCounts &counts)
{
    QString saved = countText(counts.frames, "frame", "frames");
    if (counts.noiseRuns > 0)
        saved += QStringLiteral(" and %1").arg(countText(counts.noiseRuns, "noise run", "noise runs"));
    return saved;
}

} // namespace

SavedRecords saveRecords(const QString &path, const RecordRange &records, bool preciseTimes)
{
    using capture::RecordWriter;
    SavedRecords saved;
    saved.capture = capture::isCapturePath(path);
    QString error;
    std::unique_ptr<RecordWriter> writer = RecordWriter::open(
        path, saved.capture ? RecordWriter::Kind::Capture : RecordWriter::Kind::Log, RecordWriter::Opening::Chosen,
        &error);
    if (writer) {
        bool written = true;
        for (int i = 0; written && i < records.count; ++i)
            written = writer->write(records.at(i), preciseTimes);
        written = writer->close() && written;
        saved.counts = writer->counts();
        error = written ? QString() : writer->errorText();
    }
    saved.ok = error.isEmpty();
    if (!saved.ok) {
        saved.message = QStringLiteral("Cannot write %1: %2").arg(path, capture::writeProblem(error, path));
        return saved;
    }
    saved.message = QStringLiteral("Saved %1 to %2").arg(savedText(saved.counts), path);
    if (saved.capture && saved.counts.events > 0)
        saved.message += QStringLiteral("; %1 left out: a capture holds no events")
                             .arg(countText(saved.counts.events, "event", "events"));
    return saved;
}
