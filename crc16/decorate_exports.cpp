// Build helper for the CRC16 library on ELF platforms.
//
// ELF linkers read '@' in a defined symbol name as a version tag, so the
// library is linked with placeholder names of the same length (for example
// "_crc16_byte.8"), with a SysV symbol hash only. This tool then renames the
// placeholders in the dynamic string table (and in the static symbol table
// when present) to the decorated names ("_crc16_byte@8") and rebuilds the
// SysV hash, so that nm -D shows the decorated names and dlsym finds them.
//
// usage: crc16_decorate <library> <placeholder>=<name> [...]
//
// The file is changed in place and only when every check passes; any
// unexpected layout is an error, which fails the build.
#include <elf.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Rename {
    std::string from;
    std::string to;
};

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what);
}

std::uint32_t SysvHash(const char* name)
{
    std::uint32_t h = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
        h = (h << 4) + *p;
        const std::uint32_t g = h & 0xF0000000u;
        if (g)
            h ^= g >> 24;
        h &= ~g;
    }
    return h;
}

template <class T>
T ReadAt(const std::vector<unsigned char>& img, std::uint64_t off)
{
    if (off > img.size() || img.size() - off < sizeof(T))
        Fail("read beyond end of file");
    T v;
    std::memcpy(&v, img.data() + off, sizeof(T));
    return v;
}

template <class T>
void WriteAt(std::vector<unsigned char>& img, std::uint64_t off, const T& v)
{
    if (off > img.size() || img.size() - off < sizeof(T))
        Fail("write beyond end of file");
    std::memcpy(img.data() + off, &v, sizeof(T));
}

struct Section {
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
    std::uint64_t entsize = 0;
};

// A string table section with checked access.
struct StrTab {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;

    // The NUL-terminated string at `at`, or Fail when it runs off the table.
    std::string Get(const std::vector<unsigned char>& img, std::uint64_t at) const
    {
        if (at >= size)
            Fail("string offset outside its table");
        const char* begin = reinterpret_cast<const char*>(img.data() + offset + at);
        const void* nul = std::memchr(begin, 0, size - at);
        if (!nul)
            Fail("unterminated string");
        return std::string(begin, static_cast<const char*>(nul));
    }
};

template <class Ehdr, class Shdr, class Sym, class Dyn>
class ElfFile {
public:
    explicit ElfFile(std::vector<unsigned char>& img) : img_(img)
    {
        const Ehdr eh = ReadAt<Ehdr>(img_, 0);
        if (eh.e_shentsize != sizeof(Shdr))
            Fail("unexpected section header size");
        for (unsigned i = 0; i < eh.e_shnum; ++i) {
            const Shdr sh = ReadAt<Shdr>(img_, eh.e_shoff + std::uint64_t(i) * sizeof(Shdr));
            Section s;
            s.type = sh.sh_type;
            s.offset = sh.sh_offset;
            s.size = sh.sh_type == SHT_NOBITS ? 0 : sh.sh_size;
            s.link = sh.sh_link;
            s.entsize = sh.sh_entsize;
            if (s.offset > img_.size() || img_.size() - s.offset < s.size)
                Fail("section outside the file");
            sections_.push_back(s);
        }
    }

    void Apply(const std::vector<Rename>& renames)
    {
        int dynsym = -1;
        int hash = -1;
        int dynamic = -1;
        int symtab = -1;
        for (std::size_t i = 0; i < sections_.size(); ++i) {
            switch (sections_[i].type) {
            case SHT_DYNSYM: dynsym = int(i); break;
            case SHT_HASH: hash = int(i); break;
            case SHT_DYNAMIC: dynamic = int(i); break;
            case SHT_SYMTAB: symtab = int(i); break;
            case SHT_GNU_HASH:
                Fail("the library has a GNU symbol hash; link it with --hash-style=sysv");
            default: break;
            }
        }
        if (dynsym < 0)
            Fail("no dynamic symbol table");
        if (hash < 0 || sections_[hash].link != unsigned(dynsym))
            Fail("no SysV symbol hash for the dynamic symbols");

        const StrTab dynstr = StringTable(sections_[dynsym].link);
        std::vector<std::uint64_t> dynOthers;  // dynstr offsets used outside the symbol table
        if (dynamic >= 0)
            dynOthers = DynamicStrings(sections_[dynamic]);

        const std::vector<std::string> dynNames =
            RenameIn(sections_[dynsym], dynstr, renames, dynOthers, true);
        RebuildHash(sections_[hash], dynNames);

        // The static symbol table only serves debuggers and nm; rename there
        // too when it can be done safely.
        if (symtab >= 0) {
            try {
                const StrTab strtab = StringTable(sections_[symtab].link);
                RenameIn(sections_[symtab], strtab, renames, {}, false);
            } catch (const std::exception&) {
                // leave the static table as it is
            }
        }
    }

private:
    StrTab StringTable(std::uint32_t index) const
    {
        if (index >= sections_.size() || sections_[index].type != SHT_STRTAB)
            Fail("symbol table without string table");
        return StrTab{sections_[index].offset, sections_[index].size};
    }

    std::vector<std::uint64_t> DynamicStrings(const Section& dyn) const
    {
        std::vector<std::uint64_t> out;
        for (std::uint64_t off = 0; off + sizeof(Dyn) <= dyn.size; off += sizeof(Dyn)) {
            const Dyn d = ReadAt<Dyn>(img_, dyn.offset + off);
            if (d.d_tag == DT_NULL)
                break;
            if (d.d_tag == DT_NEEDED || d.d_tag == DT_SONAME || d.d_tag == DT_RPATH || d.d_tag == DT_RUNPATH)
                out.push_back(d.d_un.d_val);
        }
        return out;
    }

    // Renames the placeholders among the symbols of `symSec`; returns every
    // symbol's final name, index by index. With `required`, each rename must
    // find its placeholder (or the already decorated name).
    std::vector<std::string> RenameIn(const Section& symSec, const StrTab& strs,
                                      const std::vector<Rename>& renames,
                                      const std::vector<std::uint64_t>& otherUses, bool required)
    {
        if (symSec.entsize != sizeof(Sym))
            Fail("unexpected symbol entry size");
        const std::uint64_t count = symSec.size / sizeof(Sym);
        std::vector<std::string> names(count);
        std::vector<std::uint64_t> nameOffsets(count);
        for (std::uint64_t i = 0; i < count; ++i) {
            const Sym s = ReadAt<Sym>(img_, symSec.offset + i * sizeof(Sym));
            nameOffsets[i] = s.st_name;
            names[i] = strs.Get(img_, s.st_name);
        }

        std::vector<std::pair<std::uint64_t, std::string>> writes;
        for (const Rename& r : renames) {
            int found = 0;
            bool done = false;
            for (std::uint64_t i = 0; i < count; ++i) {
                if (names[i] == r.to) {
                    done = true;
                } else if (names[i] == r.from) {
                    const std::uint64_t start = nameOffsets[i];
                    const std::uint64_t end = start + r.from.size();
                    // No other string may live inside the placeholder (a shared tail).
                    auto inside = [&](std::uint64_t at) { return at != start && at >= start && at < end; };
                    for (std::uint64_t j = 0; j < count; ++j)
                        if (inside(nameOffsets[j]))
                            Fail("the name of " + r.from + " shares its tail with " + names[j]);
                    for (std::uint64_t at : otherUses)
                        if (inside(at))
                            Fail("the name of " + r.from + " shares its tail with a dynamic entry");
                    writes.emplace_back(strs.offset + start, r.to);
                    names[i] = r.to;
                    ++found;
                }
            }
            if (required && found == 0 && !done)
                Fail("no exported symbol " + r.from);
        }
        for (const auto& w : writes)
            std::memcpy(img_.data() + w.first, w.second.data(), w.second.size());
        return names;
    }

    void RebuildHash(const Section& hash, const std::vector<std::string>& names)
    {
        if (hash.entsize != 4)
            Fail("unexpected hash entry size");
        const std::uint32_t nbucket = ReadAt<std::uint32_t>(img_, hash.offset);
        const std::uint32_t nchain = ReadAt<std::uint32_t>(img_, hash.offset + 4);
        if (nbucket == 0 || nchain != names.size())
            Fail("hash does not match the dynamic symbol table");
        if ((2ull + nbucket + nchain) * 4 > hash.size)
            Fail("hash larger than its section");
        std::vector<std::uint32_t> bucket(nbucket, 0);
        std::vector<std::uint32_t> chain(nchain, 0);
        for (std::uint32_t i = nchain; i-- > 1;) {
            const std::uint32_t b = SysvHash(names[i].c_str()) % nbucket;
            chain[i] = bucket[b];
            bucket[b] = i;
        }
        std::uint64_t at = hash.offset + 8;
        for (std::uint32_t v : bucket) { WriteAt(img_, at, v); at += 4; }
        for (std::uint32_t v : chain) { WriteAt(img_, at, v); at += 4; }
    }

    std::vector<unsigned char>& img_;
    std::vector<Section> sections_;
};

bool HostIsLittleEndian()
{
    const std::uint16_t probe = 1;
    unsigned char first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <library> <placeholder>=<name> [...]\n", argv[0]);
        return 2;
    }
    try {
        std::vector<Rename> renames;
        for (int i = 2; i < argc; ++i) {
            const std::string arg = argv[i];
            const std::size_t eq = arg.find('=');
            if (eq == std::string::npos || eq == 0)
                Fail("bad rename argument: " + arg);
            Rename r{arg.substr(0, eq), arg.substr(eq + 1)};
            if (r.from.size() != r.to.size())
                Fail("placeholder and name differ in length: " + arg);
            renames.push_back(r);
        }

        const std::string path = argv[1];
        std::vector<unsigned char> img;
        {
            std::ifstream in(path, std::ios::binary);
            if (!in)
                Fail("cannot open " + path);
            img.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        if (img.size() < EI_NIDENT || std::memcmp(img.data(), ELFMAG, SELFMAG) != 0)
            Fail(path + " is not an ELF file");
        const bool little = img[EI_DATA] == ELFDATA2LSB;
        if (little != HostIsLittleEndian())
            Fail("byte order of " + path + " differs from this machine's");

        if (img[EI_CLASS] == ELFCLASS64)
            ElfFile<Elf64_Ehdr, Elf64_Shdr, Elf64_Sym, Elf64_Dyn>(img).Apply(renames);
        else if (img[EI_CLASS] == ELFCLASS32)
            ElfFile<Elf32_Ehdr, Elf32_Shdr, Elf32_Sym, Elf32_Dyn>(img).Apply(renames);
        else
            Fail("unknown ELF class");

        std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
        if (!out)
            Fail("cannot write " + path);
        out.write(reinterpret_cast<const char*>(img.data()), std::streamsize(img.size()));
        if (!out)
            Fail("write failed: " + path);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "crc16_decorate: %s\n", e.what());
        return 1;
    }
    return 0;
}
