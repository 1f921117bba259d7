#include "platform/DecoderProcess.h"

#include "platform/Graphic.h"
#include "platform/JPEGImage.h"
#include "platform/Metafile.h"
#include "platform/PosixFile.h"

#include <QGuiApplication>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {

const char *const DecoderFlag = "--glossadrome-picture-decoder";
const char *const TooLong = "The picture takes too long to decode";
const char *const TooMuchMemory = "The picture needs too much memory to decode";
const char *const DecoderDied = "The picture's decoder failed";

struct Decoder {
    const char *name;
    DecodedPicture (*decode)(const QByteArray &file);
    bool drawsText;   // needs Qt's fonts, hence an application object
};
const Decoder Decoders[] = {{"jpeg", DecodeJpegFile, false}, {"metafile", DrawMetafileFile, true}};

// What the child writes after a success: these numbers, then the rows of the picture.
struct PictureHeader {
    qint32 width, height, format, bytesPerLine;
    std::array<qint32, 4> facts;
};

enum ChildExit { Decoded = 0, Refused = 1 };

void Limit(int resource, rlim_t soft, rlim_t hard)
{
    const rlimit limit{soft, hard};
    ::setrlimit(resource, &limit);
}

[[noreturn]] void Refuse(const char *message)
{
    WriteAll(STDOUT_FILENO, message, std::strlen(message));
    std::_Exit(Refused);
}

// The child's whole life: limits first, then the file, the decoder, the picture.
[[noreturn]] void ServeAsDecoder(const Decoder &decoder)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    Limit(RLIMIT_CPU, DecoderProcessorSeconds, DecoderProcessorSeconds + 1);
    Limit(RLIMIT_DATA, DecoderMemoryBytes, DecoderMemoryBytes);
    Limit(RLIMIT_FSIZE, sizeof(PictureHeader) + MaxGraphicPixels * 4, sizeof(PictureHeader) + MaxGraphicPixels * 4);
    Limit(RLIMIT_CORE, 0, 0);
    try {
        const std::string bytes = ReadAll(STDIN_FILENO);
        std::unique_ptr<QGuiApplication> application;
        if (decoder.drawsText) {
            // Fonts need an application object; the child never shows a window.
            qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "glossadrome-picture-decoder";
            static char *argv[] = {name, nullptr};
            application = std::make_unique<QGuiApplication>(argc, argv);
        }
        const DecodedPicture picture = decoder.decode(QByteArray::fromStdString(bytes));
        const QImage &image = picture.image;
        const PictureHeader header{image.width(), image.height(), int(image.format()), int(image.bytesPerLine()),
                                   picture.facts};
        WriteAll(STDOUT_FILENO, reinterpret_cast<const char *>(&header), sizeof header);
        WriteAll(STDOUT_FILENO, reinterpret_cast<const char *>(image.constBits()), size_t(image.sizeInBytes()));
    } catch (const std::bad_alloc &) {
        Refuse(TooMuchMemory);
    } catch (const std::exception &e) {
        Refuse(e.what());
    }
    std::_Exit(Decoded);
}

// Run by the C library before main, with main's arguments: a program file started as a picture
// decoder decodes and ends there, whatever its main would have done.
[[gnu::constructor]] void RunAsDecoderWhenAsked(int argc, char **argv, char **)
{
    if (argc != 3 || std::strcmp(argv[1], DecoderFlag) != 0)
        return;
    for (const Decoder &decoder : Decoders)
        if (std::strcmp(argv[2], decoder.name) == 0)
            ServeAsDecoder(decoder);
    std::_Exit(Refused);
}

// Starts this program file as a decoder over the two memory files; 0 when that is impossible.
pid_t StartChild(const Decoder &decoder, int input, int output)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char *argv[] = {const_cast<char *>("glossadrome-picture-decoder"), const_cast<char *>(DecoderFlag),
                    const_cast<char *>(decoder.name), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, "/proc/self/exe", &actions, &attributes, argv, environ) != 0)
        child = 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return child;
}

// Waits for the child to end; kills it when it has not ended in time. Its wait status.
int WaitForChild(pid_t child)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(DecoderWallSeconds);
    auto pause = std::chrono::microseconds(200);
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child || (ended < 0 && errno != EINTR))
            return status;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            return status;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(10000));
    }
}

// The output of the child, mapped into memory.
class MappedOutput {
public:
    explicit MappedOutput(int fd)
    {
        struct stat info {};
        if (::fstat(fd, &info) != 0 || info.st_size <= 0)
            return;
        void *mapped = ::mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped != MAP_FAILED) {
            data = static_cast<const char *>(mapped);
            size = size_t(info.st_size);
        }
    }
    ~MappedOutput()
    {
        if (data)
            ::munmap(const_cast<char *>(data), size);
    }
    MappedOutput(const MappedOutput &) = delete;
    MappedOutput &operator=(const MappedOutput &) = delete;
    const char *data = nullptr;
    size_t size = 0;
};

DecodedPicture ReadPicture(const MappedOutput &output)
{
    PictureHeader header;
    if (output.size < sizeof header)
        throw EInvalidGraphic(DecoderDied);
    std::memcpy(&header, output.data, sizeof header);
    const auto format = QImage::Format(header.format);
    const bool known = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                       format == QImage::Format_ARGB32_Premultiplied;
    if (!known || header.width <= 0 || header.height <= 0 || header.bytesPerLine < qint64(header.width) * 4 ||
        output.size - sizeof header != size_t(header.bytesPerLine) * size_t(header.height))
        throw EInvalidGraphic(DecoderDied);
    DecodedPicture picture{QImage(header.width, header.height, format), header.facts};
    if (picture.image.isNull())
        throw EInvalidGraphic(TooMuchMemory);
    const char *row = output.data + sizeof header;
    for (int y = 0; y < header.height; ++y, row += header.bytesPerLine)
        std::memcpy(picture.image.scanLine(y), row, size_t(header.width) * 4);
    return picture;
}

} // namespace

DecodedPicture DecodeInChildProcess(PictureDecoder which, const QByteArray &file)
{
    const Decoder &decoder = Decoders[int(which)];
    FileHandle input(::memfd_create("picture", MFD_CLOEXEC)), output(::memfd_create("decoded", MFD_CLOEXEC));
    if (!input || !output)
        return decoder.decode(file);
    WriteAll(input.get(), file.constData(), size_t(file.size()));
    ::lseek(input.get(), 0, SEEK_SET);
    const pid_t child = StartChild(decoder, input.get(), output.get());
    if (child <= 0)
        return decoder.decode(file);
    const int status = WaitForChild(child);
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        throw EInvalidGraphic(signal == SIGKILL || signal == SIGXCPU ? TooLong : DecoderDied);
    }
    const MappedOutput result(output.get());
    if (WIFEXITED(status) && WEXITSTATUS(status) == Refused)
        throw EInvalidGraphic(result.data ? std::string(result.data, std::min<size_t>(result.size, 1000)) : DecoderDied);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != Decoded)
        throw EInvalidGraphic(DecoderDied);
    return ReadPicture(result);
}
