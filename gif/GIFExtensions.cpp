// GIF extensions, their registries and the extension list of a frame.
#include "gif/GIFImage.h"
#include "gif/GIFStreamIO.h"

#include <cstring>

namespace {

// Skips sub-blocks up to and including the terminator; false when the data ends first.
bool SkipSubBlocks(TGIFInput &input)
{
    for (;;) {
        const int length = input.ReadByte();
        if (length < 0)
            return false;
        if (length == 0)
            return true;
        if (input.Skip(length) != length)
            return false;
    }
}

struct ExtensionPair {
    uint8_t label;
    const TGIFExtensionClass *cls;
};
struct AppExtensionPair {
    std::array<uint8_t, 11> identifier;
    const TGIFExtensionClass *cls;
};

// The classes registered besides the built-in ones (none until a registration).
std::vector<ExtensionPair> *extensionRegistry = nullptr;
std::vector<AppExtensionPair> *appExtensionRegistry = nullptr;

std::array<uint8_t, 11> Identifier11(const std::string &text)
{
    std::array<uint8_t, 11> id{};
    for (size_t i = 0; i < 11 && i < text.size(); ++i)
        id[i] = uint8_t(text[i]);
    return id;
}

// Text as sub-blocks.
void WriteText(QIODevice &stream, const std::vector<std::string> &text)
{
    for (const std::string &s : text) {
        size_t done = 0;
        while (done < s.size()) {
            const size_t n = std::min<size_t>(255, s.size() - done);
            GIFWriteByte(stream, uint8_t(n));
            GIFWriteBytes(stream, s.data() + done, qint64(n));
            done += n;
        }
    }
    GIFWriteByte(stream, 0);
}

void ReadText(TGIFInput &input, std::vector<std::string> &text)
{
    text.clear();
    int length = input.ReadByte();
    while (length > 0) {
        std::string s(size_t(length), '\0');
        input.ReadExact(s.data(), length);
        const size_t zero = s.find('\0');
        if (zero != std::string::npos)
            s.resize(zero);
        text.push_back(std::move(s));
        length = input.ReadByte();
    }
}

template <class T>
TGIFExtension *CreateExtension(TGIFSubImage *frame)
{
    return new T(frame);
}

// Only a block of exactly 11 bytes with a registered identifier is that class's; every other
// application block is kept as an unknown one, whatever its size.
const TGIFExtensionClass *ResolveApplication(TGIFInput &input)
{
    const int size = input.ReadByte();
    if (size < 0)
        return nullptr;
    const uint8_t *identifier = input.Here();
    if (size == 11 && input.Skip(11) == 11) {
        if (const TGIFExtensionClass *cls = FindAppExtension(identifier))
            return cls;
    }
    return &TGIFUnknownAppExtension::ClassInfo;
}

} // namespace

// Application extensions are abstract: when no more specific class is named, the unknown
// application extension reads the block (it keeps every sub-block).
const TGIFExtensionClass TGIFGraphicControlExtension::ClassInfo = {
    "TGIFGraphicControlExtension", &CreateExtension<TGIFGraphicControlExtension>, nullptr};
const TGIFExtensionClass TGIFTextExtension::ClassInfo = {"TGIFTextExtension", &CreateExtension<TGIFTextExtension>,
                                                         nullptr};
const TGIFExtensionClass TGIFCommentExtension::ClassInfo = {"TGIFCommentExtension",
                                                            &CreateExtension<TGIFCommentExtension>, nullptr};
const TGIFExtensionClass TGIFApplicationExtension::ClassInfo = {
    "TGIFApplicationExtension", &CreateExtension<TGIFUnknownAppExtension>, &ResolveApplication};
const TGIFExtensionClass TGIFUnknownAppExtension::ClassInfo = {"TGIFUnknownAppExtension",
                                                               &CreateExtension<TGIFUnknownAppExtension>, nullptr};
const TGIFExtensionClass TGIFAppExtNSLoop::ClassInfo = {"TGIFAppExtNSLoop", &CreateExtension<TGIFAppExtNSLoop>,
                                                        nullptr};

// Registered classes come before the built-in ones, the latest registered first; the
// built-in ones are found without a search (every extension of every file is looked up).
void RegisterExtension(uint8_t label, const TGIFExtensionClass *cls)
{
    if (!extensionRegistry)
        extensionRegistry = new std::vector<ExtensionPair>;
    extensionRegistry->push_back({label, cls});
}

void RegisterAppExtension(const std::string &identifier11, const TGIFExtensionClass *cls)
{
    if (!appExtensionRegistry)
        appExtensionRegistry = new std::vector<AppExtensionPair>;
    appExtensionRegistry->push_back({Identifier11(identifier11), cls});
}

const TGIFExtensionClass *FindExtension(uint8_t label)
{
    if (extensionRegistry) {
        for (auto it = extensionRegistry->rbegin(); it != extensionRegistry->rend(); ++it)
            if (it->label == label)
                return it->cls;
    }
    switch (label) {
    case 0x01:
        return &TGIFTextExtension::ClassInfo;
    case 0xF9:
        return &TGIFGraphicControlExtension::ClassInfo;
    case 0xFE:
        return &TGIFCommentExtension::ClassInfo;
    case 0xFF:
        return &TGIFApplicationExtension::ClassInfo;
    default:
        return nullptr;
    }
}

const TGIFExtensionClass *FindAppExtension(const uint8_t *identifier11)
{
    if (appExtensionRegistry) {
        for (auto it = appExtensionRegistry->rbegin(); it != appExtensionRegistry->rend(); ++it)
            if (std::memcmp(it->identifier.data(), identifier11, 11) == 0)
                return it->cls;
    }
    // The looping extension, under Netscape's name or the one of its later variant.
    if (std::memcmp(identifier11, "NETSCAPE2.0", 11) == 0 || std::memcmp(identifier11, "ANIMEXTS1.0", 11) == 0)
        return &TGIFAppExtNSLoop::ClassInfo;
    return nullptr;
}

void FreeExtensionRegistries()
{
    delete extensionRegistry;
    extensionRegistry = nullptr;
    delete appExtensionRegistry;
    appExtensionRegistry = nullptr;
}

// ---------------------------------------------------------------------------------------
// TGIFExtension

TGIFExtension::~TGIFExtension()
{
    if (OwnerList) {
        OwnerList->Remove(this);
        OwnerList = nullptr;
    }
}

const TGIFExtensionClass *TGIFExtension::FindExtensionClass(TGIFInput &input)
{
    const qint64 start = input.Pos();
    const int label = input.ReadByte();
    if (label < 0)
        return nullptr;
    const TGIFExtensionClass *cls = FindExtension(uint8_t(label));
    // Each ask reads on from where the previous one left the stream; a class that names
    // another asks again, a class without its own ResolveClass names itself.
    while (cls && cls->ResolveClass) {
        const TGIFExtensionClass *next = cls->ResolveClass(input);
        if (next == cls)
            break;
        cls = next;
    }
    input.Seek(start);
    return cls;
}

void TGIFExtension::SaveToStream(QIODevice &stream)
{
    const uint8_t header[2] = {0x21, LabelByte()};
    GIFWriteBytes(stream, header, 2);
}

void TGIFExtension::Read(TGIFInput &input)
{
    uint8_t header[2];
    input.ReadExact(header, 2);
    if (header[0] != 0x21)
        throw GIFException("Invalid extension introducer");
    if (header[1] != LabelByte())
        throw GIFException("Internal error: Extension Instance does not match Extension Label");
}

// The extensions before a frame.
TGIFExtension *TGIFExtensionList::Extension(int index) const { return static_cast<TGIFExtension *>(Items(index)); }

void TGIFExtensionList::Read(TGIFInput &input, void *parent)
{
    auto *frame = static_cast<TGIFSubImage *>(parent);
    int b = input.ReadByte();
    if (b < 0)
        return;
    while (b != ',' && b != ';') {
        if (b != '!') {
            Warn(1, "Invalid extension introducer");
            break;
        }
        const TGIFExtensionClass *cls = TGIFExtension::FindExtensionClass(input);
        if (!cls) {
            const int label = input.ReadByte();
            if (label < 0 || FindExtension(uint8_t(label))) {
                // The data ends inside the extension's header.
                Warn(1, "Premature end of data");
                return;
            }
            // Other decoders pass over extensions they do not know.
            Warn(1, "Unknown extension type");
            if (!SkipSubBlocks(input)) {
                Warn(1, "Premature end of data");
                return;
            }
            b = input.ReadByte();
            if (b < 0)
                return;
            continue;
        }
        if (image)
            image->ReserveItem();
        input.StepBack();
        TGIFExtension *extension = cls->Create(frame);
        try {
            extension->Read(input);
        } catch (...) {
            delete extension;
            throw;
        }
        Add(extension);
        b = input.ReadByte();
        if (b < 0)
            return;
    }
    input.StepBack();
}

// ---------------------------------------------------------------------------------------
// Graphic control extension

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage *frame) : TGIFExtension(frame)
{
    if (frame && !frame->FrameControl)
        frame->FrameControl = this;
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension()
{
    if (frame) {
        if (Transparent())
            frame->Transparent = false;
        if (frame->FrameControl == this)
            frame->FrameControl = nullptr;
    }
}

void TGIFGraphicControlExtension::SetTransparent(bool value)
{
    Packed = value ? (Packed | 1) : (Packed & ~1);
    if (frame)
        frame->Transparent = value;
}

void TGIFGraphicControlExtension::SetTransparentIndex(int index)
{
    if (frame) {
        TGIFColorMap &map = frame->ActiveColorMap();
        if (map.Count() > 0 && index >= map.Count()) {
            Warn(1, "Invalid color index");
            index = 0;
        }
    }
    TransparentIndexValue = uint8_t(index);
}

void TGIFGraphicControlExtension::SaveToStream(QIODevice &stream)
{
    TGIFExtension::SaveToStream(stream);
    const uint8_t body[6] = {4, Packed, uint8_t(DelayValue), uint8_t(DelayValue >> 8), TransparentIndexValue, 0};
    GIFWriteBytes(stream, body, 6);
}

// Reads the 4 bytes the extension needs, whatever size its block claims, and passes over the
// rest of the block and any further sub-blocks up to the terminator.
void TGIFGraphicControlExtension::Read(TGIFInput &input)
{
    TGIFExtension::Read(input);
    const int size = input.ReadByte();
    uint8_t body[4] = {};
    const qint64 wanted = std::min(std::max(size, 0), 4);
    const qint64 got = input.Read(body, wanted);
    BlockSize = uint8_t(std::max(size, 0));
    Packed = body[0];
    DelayValue = LittleEndian16(body + 1);
    TransparentIndexValue = body[3];
    Terminator = 0;
    // (A block size of 0 is the extension's terminator.)
    const bool whole = size == 0 || (size > 0 && got == wanted && input.Skip(size - wanted) == size - wanted &&
                                     SkipSubBlocks(input));
    if (!whole) {
        Warn(1, "Premature end of data");
        return;
    }
    if ((Packed & 1) && frame)
        frame->Transparent = true;
}

// ---------------------------------------------------------------------------------------
// Plain-text and comment extensions

void TGIFTextExtension::SaveToStream(QIODevice &stream)
{
    TGIFExtension::SaveToStream(stream);
    const uint8_t body[13] = {BlockSize,
                              uint8_t(GridLeft), uint8_t(GridLeft >> 8), uint8_t(GridTop), uint8_t(GridTop >> 8),
                              uint8_t(GridWidth), uint8_t(GridWidth >> 8), uint8_t(GridHeight),
                              uint8_t(GridHeight >> 8), CellWidth, CellHeight, ForegroundColorIndex,
                              BackgroundColorIndex};
    GIFWriteBytes(stream, body, 13);
    WriteText(stream, Text);
}

void TGIFTextExtension::Read(TGIFInput &input)
{
    TGIFExtension::Read(input);
    uint8_t body[13];
    input.ReadExact(body, 13);
    BlockSize = body[0];
    GridLeft = LittleEndian16(body + 1);
    GridTop = LittleEndian16(body + 3);
    GridWidth = LittleEndian16(body + 5);
    GridHeight = LittleEndian16(body + 7);
    CellWidth = body[9];
    CellHeight = body[10];
    ForegroundColorIndex = body[11];
    BackgroundColorIndex = body[12];
    ReadText(input, Text);
}

void TGIFCommentExtension::SaveToStream(QIODevice &stream)
{
    TGIFExtension::SaveToStream(stream);
    WriteText(stream, Text);
}

void TGIFCommentExtension::Read(TGIFInput &input)
{
    TGIFExtension::Read(input);
    ReadText(input, Text);
}

// ---------------------------------------------------------------------------------------
// Application extensions

namespace {
// The looping extension's sub-blocks: identifier 1 carries the loop count (2 bytes), 2 the
// buffer size (4 bytes); a sub-block too short for its value is kept as unknown data.
constexpr int LoopBlock = 1, BufferBlock = 2;
int LoopBlockKind(const TGIFBlock &block)
{
    const int kind = block.Data[0] & 7;
    if ((kind == LoopBlock && block.Data.size() >= 3) || (kind == BufferBlock && block.Data.size() >= 5))
        return kind;
    return 0;
}

int LastOfKind(const TGIFBlocks &blocks, int kind)
{
    for (int i = int(blocks.size()) - 1; i >= 0; --i)
        if (LoopBlockKind(blocks[size_t(i)]) == kind)
            return i;
    return -1;
}

void PutLittleEndian(uint8_t *to, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        to[i] = uint8_t(value >> (8 * i));
}

uint32_t GetLittleEndian(const uint8_t *from, int bytes)
{
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | from[i];
    return value;
}

void WriteBlock(QIODevice &stream, const TGIFBlock &block)
{
    GIFWriteByte(stream, uint8_t(block.Data.size()));
    GIFWriteBytes(stream, block.Data.data(), qint64(block.Data.size()));
}

// How many sub-blocks come before the terminator (or the end of the data).
size_t CountSubBlocks(TGIFInput input)
{
    size_t count = 0;
    for (int length; (length = input.ReadByte()) > 0 && input.Skip(length) == length;)
        ++count;
    return count;
}

// The sub-blocks up to the terminator or the end of the data, copied straight from the file's
// bytes into a list sized once; seen gets each as it is read. A sub-block cut short by the end
// of the data raises "Premature end of data".
template <class Seen>
void ReadSubBlocks(TGIFInput &input, TGIFBlocks &blocks, Seen seen)
{
    blocks.clear();
    blocks.reserve(CountSubBlocks(input));
    for (int length; (length = input.ReadByte()) > 0;) {
        const uint8_t *from = input.Here();
        if (input.Skip(length) < length)
            throw GIFException("Premature end of data");
        TGIFBlock &block = blocks.emplace_back();
        block.Data.append(from, length);
        seen(block);
    }
}
} // namespace

void TGIFApplicationExtension::SetIdentifier(const std::string &text) { Identifier = Identifier11(text); }

void TGIFApplicationExtension::SaveToStream(QIODevice &stream)
{
    TGIFExtension::SaveToStream(stream);
    GIFWriteByte(stream, BlockSize);
    if (BlockSize == 0)
        return;   // that zero was the extension's terminator
    GIFWriteBytes(stream, Identifier.data(), std::min<int>(BlockSize, 11));
    if (BlockSize > 11) {
        std::vector<uint8_t> tail = BlockTail;
        tail.resize(size_t(BlockSize - 11));
        GIFWriteBytes(stream, tail.data(), qint64(tail.size()));
    }
    WriteBody(stream);
}

void TGIFApplicationExtension::Read(TGIFInput &input)
{
    TGIFExtension::Read(input);
    const int size = input.ReadByte();
    if (size < 0)
        throw GIFException("Premature end of data");
    BlockSize = uint8_t(size);
    Identifier.fill(0);
    BlockTail.clear();
    if (size == 0)
        return;   // an empty first block is the extension's terminator
    input.ReadExact(Identifier.data(), std::min(size, 11));
    if (size > 11) {
        BlockTail.resize(size_t(size - 11));
        input.ReadExact(BlockTail.data(), qint64(BlockTail.size()));
    }
    ReadBody(input);
}

void TGIFUnknownAppExtension::WriteBody(QIODevice &stream)
{
    for (const TGIFBlock &block : Blocks)
        WriteBlock(stream, block);
    GIFWriteByte(stream, 0);
}

void TGIFUnknownAppExtension::ReadBody(TGIFInput &input)
{
    ReadSubBlocks(input, Blocks, [](const TGIFBlock &) {});
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage *frame) : TGIFApplicationExtension(frame)
{
    static const std::array<uint8_t, 11> netscape = Identifier11("NETSCAPE2.0");
    Identifier = netscape;
}

void TGIFAppExtNSLoop::WriteBody(QIODevice &stream)
{
    TGIFBlocks blocks = SubBlocks;
    int loop = LastOfKind(blocks, LoopBlock);
    if (loop < 0) {
        blocks.insert(blocks.begin(), TGIFBlock{{LoopBlock, 0, 0}});
        loop = 0;
    }
    PutLittleEndian(blocks[size_t(loop)].Data.data() + 1, Loops, 2);
    int buffer = LastOfKind(blocks, BufferBlock);
    if (buffer < 0 && BufferSize != 0) {
        blocks.insert(blocks.begin() + loop + 1, TGIFBlock{{BufferBlock, 0, 0, 0, 0}});
        buffer = loop + 1;
    }
    if (buffer >= 0)
        PutLittleEndian(blocks[size_t(buffer)].Data.data() + 1, BufferSize, 4);
    for (const TGIFBlock &block : blocks)
        WriteBlock(stream, block);
    GIFWriteByte(stream, 0);
}

void TGIFAppExtNSLoop::ReadBody(TGIFInput &input)
{
    ReadSubBlocks(input, SubBlocks, [this](const TGIFBlock &block) {
        switch (LoopBlockKind(block)) {
        case LoopBlock:
            Loops = uint16_t(GetLittleEndian(block.Data.data() + 1, 2));
            break;
        case BufferBlock:
            BufferSize = GetLittleEndian(block.Data.data() + 1, 4);
            break;
        default:
            if ((block.Data[0] & 7) == LoopBlock || (block.Data[0] & 7) == BufferBlock)
                Warn(1, "Invalid GIF data");
        }
    });
}
