#include "metadata/metadatareaders.h"

#include <exiv2/bmffimage.hpp>
#include <exiv2/error.hpp>
#include <exiv2/xmp_exiv2.hpp>
#include <taglib/tdebuglistener.h>

#include <QFile>

#include <mutex>

namespace {

// TagLib reports odd frames of broken files on stderr; in a preview of a thousand
// files that is noise, and the broken file already shows as empty values.
class SilentTagLibListener : public TagLib::DebugListener
{
public:
    void printMessage(const TagLib::String &) override {}
};

// Reading XMP registers the namespaces a file brings along in one table of the XMP
// toolkit; with this lock two threads can read photos at the same time.
void lockXmpToolkit(void *data, bool lock)
{
    auto *mutex = static_cast<std::mutex *>(data);
    if (lock)
        mutex->lock();
    else
        mutex->unlock();
}

} // namespace

FileMetadata LibraryMetadataReader::read(const QString &path, const MetadataRequest &request) const
{
    FileMetadata values;
    const QByteArray encoded = QFile::encodeName(path);
    // The libraries throw for some broken files and may again after an update; a file
    // that cannot be read gives empty values, never a failed preview.
    try {
        if (request.wantsPhoto())
            readPhotoMetadata(encoded, request, values);
    } catch (...) {
    }
    try {
        if (request.wantsAudio())
            readAudioMetadata(encoded, request, values);
    } catch (...) {
    }
    return values;
}

void installMetadataReader()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        // HEIC and AVIF from phones, CR3 from Canon cameras; Exiv2 reads them only when
        // asked to.
        Exiv2::enableBMFF(true);
        // The XMP toolkit's first use is not thread-safe; the preview may run on
        // another thread, so it is set up here.
        static std::mutex xmpMutex;
        Exiv2::XmpParser::initialize(lockXmpToolkit, &xmpMutex);
        static SilentTagLibListener silent;
        TagLib::setDebugListener(&silent);
    });
    setMetadataReader(std::make_shared<LibraryMetadataReader>());
}
