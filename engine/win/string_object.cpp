#include "engine/win/string_object.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <cwchar>

namespace halcyon::win {

static_assert(sizeof(HalcyonStringHeader) == 24, "the header is 24 bytes before the text");
static_assert(sizeof(HalcyonString) == 8, "a string object is one pointer");
static_assert(sizeof(wchar_t) == 2, "string objects hold UTF-16");

namespace {

int32_t AddReference(HalcyonStringHeader &h, int32_t delta) noexcept
{
    return std::atomic_ref<int32_t>(h.references).fetch_add(delta) + delta;
}

// The DLL's own manager: blocks from malloc, a static nil block that is
// never freed (its count only ever matters to the front end's copies).
struct NilBlock {
    HalcyonStringHeader header;
    wchar_t terminator[2];
};

HalcyonStringHeader *OwnAllocate(HalcyonStringManager *self, int chars, int charSize);
void OwnFree(HalcyonStringManager *self, HalcyonStringHeader *block);
HalcyonStringHeader *OwnReallocate(HalcyonStringManager *self, HalcyonStringHeader *block, int chars, int charSize);
HalcyonStringHeader *OwnNil(HalcyonStringManager *self);
HalcyonStringManager *OwnClone(HalcyonStringManager *self);

const HalcyonStringManagerMethods kOwnMethods = {OwnAllocate, OwnFree, OwnReallocate, OwnNil, OwnClone};
HalcyonStringManager ownManager = {&kOwnMethods};
NilBlock ownNil = {{&ownManager, 0, 0, 2, 0}, {0, 0}};

// Bytes of a block for `chars` characters of `charSize` bytes, 0 when the
// request is not a sane one.
size_t BlockBytes(int chars, int charSize)
{
    if (chars < 0 || charSize < 1 || charSize > 4 || chars > (INT_MAX - 64) / charSize)
        return 0;
    return sizeof(HalcyonStringHeader) + (static_cast<size_t>(chars) + 1) * static_cast<size_t>(charSize);
}

void Terminate(HalcyonStringHeader *h, int at, int charSize)
{
    std::memset(reinterpret_cast<char *>(h + 1) + static_cast<size_t>(at) * static_cast<size_t>(charSize), 0,
                static_cast<size_t>(charSize));
}

HalcyonStringHeader *OwnAllocate(HalcyonStringManager *self, int chars, int charSize)
{
    const size_t bytes = BlockBytes(chars, charSize);
    auto *h = bytes ? static_cast<HalcyonStringHeader *>(std::malloc(bytes)) : nullptr;
    if (!h)
        return nullptr;
    *h = HalcyonStringHeader{self, 0, chars, 1, 0};
    Terminate(h, 0, charSize);
    return h;
}

void OwnFree(HalcyonStringManager *, HalcyonStringHeader *block)
{
    if (!block || block == &ownNil.header)
        return;
    // A block used after its last release shows garbage, not the old text.
    std::memset(block, 0xDD, sizeof(HalcyonStringHeader) + sizeof(wchar_t));
    std::free(block);
}

HalcyonStringHeader *OwnReallocate(HalcyonStringManager *self, HalcyonStringHeader *block, int chars, int charSize)
{
    if (!block || block == &ownNil.header)
        return OwnAllocate(self, chars, charSize);
    const size_t bytes = BlockBytes(chars, charSize);
    auto *h = bytes ? static_cast<HalcyonStringHeader *>(std::realloc(block, bytes)) : nullptr;
    if (!h)
        return nullptr;
    h->allocated = chars;
    if (h->length > chars)
        h->length = chars;
    Terminate(h, h->length, charSize);
    return h;
}

HalcyonStringHeader *OwnNil(HalcyonStringManager *)
{
    AddReference(ownNil.header, 1);
    return &ownNil.header;
}

HalcyonStringManager *OwnClone(HalcyonStringManager *self) { return self; }

} // namespace

HalcyonStringHeader *HeaderOf(const HalcyonString &s) noexcept
{
    return reinterpret_cast<HalcyonStringHeader *>(s.text) - 1;
}

std::optional<std::wstring_view> TextOf(const HalcyonString *s) noexcept
{
    if (!s || !s->text)
        return std::nullopt;
    const int32_t length = HeaderOf(*s)->length;
    size_t n = 0;
    while (static_cast<int64_t>(n) < length && s->text[n] != L'\0')
        ++n;
    return std::wstring_view(s->text, n);
}

void Release(HalcyonString *s) noexcept
{
    if (!s || !s->text)
        return;
    HalcyonStringHeader *h = HeaderOf(*s);
    s->text = nullptr;
    HalcyonStringManager *manager = h->manager;
    if (AddReference(*h, -1) <= 0 && manager)
        manager->methods->Free(manager, h);
}

namespace {

bool Fill(HalcyonString &s, HalcyonStringManager *manager, std::wstring_view text) noexcept
{
    if (!manager || text.size() > static_cast<size_t>(INT_MAX / 2 - 64))
        return false;
    const int chars = static_cast<int>(text.size());
    HalcyonStringHeader *h = manager->methods->Allocate(manager, chars, sizeof(wchar_t));
    if (!h)
        return false;
    if (h->allocated < chars) {
        manager->methods->Free(manager, h);
        return false;
    }
    auto *dest = reinterpret_cast<wchar_t *>(h + 1);
    std::wmemcpy(dest, text.data(), text.size());
    dest[chars] = L'\0';
    h->length = chars;
    s.text = dest;
    return true;
}

} // namespace

bool Assign(HalcyonString &s, std::wstring_view text) noexcept
{
    if (!s.text)
        return false;
    HalcyonString old = s;
    if (!Fill(s, HeaderOf(old)->manager, text))
        return false;
    Release(&old);
    return true;
}

bool MakeOwnString(HalcyonString &s, std::wstring_view text) noexcept
{
    if (text.empty()) {
        s.text = reinterpret_cast<wchar_t *>(OwnNil(&ownManager) + 1);
        return true;
    }
    return Fill(s, &ownManager, text);
}

} // namespace halcyon::win
