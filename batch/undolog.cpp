#include "undolog.h"

#include "batchpaths.h"
#include "renameitem.h"
#include "tessalyerror.h"
#include "translation.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace {

const QByteArray header = "\xEF\xBB\xBFOriginal,New\r\n"_ba;
// While a batch runs its log says so in the header line, which the undo never reads
// as a record: when the process is killed, the last record may name an operation
// that never happened.
const QByteArray runningHeader = "\xEF\xBB\xBFOriginal;New\r\n"_ba;
constexpr qint64 headerMarkAt = 11; // the byte after "Original"

} // namespace

QByteArray UndoRecord(const QString &original, const QString &target)
{
    return '"' + original.toUtf8() + "\",\"" + target.toUtf8() + "\"\r\n";
}

UndoJournal::UndoJournal(QString path)
    : m_path(std::move(path))
    , m_file(m_path)
{}

UndoJournal::~UndoJournal()
{
    if (!m_file.isOpen() || m_finished)
        return;
    if (m_records > 0) {
        markComplete();
        return;
    }
    m_file.close();
    if (!m_previous) {
        QFile::remove(m_path);
        return;
    }
    QFile previous(m_path);
    if (previous.open(QIODevice::WriteOnly | QIODevice::Truncate))
        previous.write(*m_previous);
}

void UndoJournal::failCreate()
{
    throw TessalyError(TranslateText(u"Cannot create file \"%1\". %2"_s)
                           .arg(QDir::toNativeSeparators(m_path), m_file.errorString()));
}

void UndoJournal::open()
{
    QDir().mkpath(FolderPart(m_path));
    QFile previous(m_path);
    if (previous.open(QIODevice::ReadOnly))
        m_previous = previous.readAll();
    // Unbuffered: every write reaches the system at once, so a record survives a kill
    // of the process that follows it.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        failCreate();
}

void UndoJournal::write(const QByteArray &bytes)
{
    if (m_file.write(bytes) != bytes.size())
        failCreate();
}

void UndoJournal::append(const QString &original, const QString &target)
{
    QByteArray bytes = UndoRecord(original, target);
    if (!m_file.isOpen()) {
        open();
        bytes.prepend(runningHeader);
        m_sizeBeforeLast = runningHeader.size();
    } else {
        m_sizeBeforeLast = m_file.pos();
    }
    write(bytes);
    ++m_records;
}

void UndoJournal::retract()
{
    if (m_sizeBeforeLast < 0)
        return;
    m_file.resize(m_sizeBeforeLast);
    m_file.seek(m_sizeBeforeLast);
    m_sizeBeforeLast = -1;
    --m_records;
}

void UndoJournal::markComplete()
{
    const qint64 end = m_file.pos();
    if (m_file.seek(headerMarkAt))
        m_file.write(",", 1);
    m_file.seek(end);
}

void UndoJournal::finish()
{
    if (!m_file.isOpen()) {
        open();
        write(header);
    } else {
        markComplete();
    }
    m_finished = true;
    m_file.close();
}

bool UndoLogInterrupted(const QStringList &lines)
{
    return !lines.isEmpty() && lines.front() == u"Original;New"_s;
}

QStringList UndoLogLines(const QByteArray &content)
{
    QString text = QString::fromUtf8(content);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.sliced(start));
    return lines;
}
