#include "versionrecord.h"

#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string_view>
#include <vector>

namespace tvl {

namespace {

// Bytes from an offset of the file, all of them or none.
bool readAt(int fd, std::uint64_t offset, void* out, std::size_t size) {
    auto* p = static_cast<char*>(out);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
        if (n <= 0) {
            return false;
        }
        p += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A version section is a few dozen bytes; anything far larger is not one.
constexpr std::uint64_t kMaxSection = 4096;

std::optional<FileVersion> versionInNotes(const std::vector<char>& notes) {
    std::size_t at = 0;
    const std::size_t nameSize = std::strlen(kVersionNoteName) + 1;
    while (at + 12 <= notes.size()) {
        std::uint32_t header[3];
        std::memcpy(header, notes.data() + at, sizeof header);
        const std::size_t name = at + 12;
        const std::size_t desc = name + ((header[0] + 3u) & ~3u);
        const std::size_t next = desc + ((header[1] + 3u) & ~3u);
        if (desc > notes.size() || next > notes.size() || next <= at) {
            return std::nullopt;
        }
        if (header[0] == nameSize && header[2] == kVersionNoteType &&
            header[1] >= sizeof(FileVersion) &&
            std::memcmp(notes.data() + name, kVersionNoteName, nameSize) == 0) {
            FileVersion version{};
            std::memcpy(version.data(), notes.data() + desc, sizeof version);
            return version;
        }
        at = next;
    }
    return std::nullopt;
}

}  // namespace

std::optional<FileVersion> readVersionRecord(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    Elf64_Ehdr header{};
    if (!readAt(fd, 0, &header, sizeof header) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr) ||
        header.e_shstrndx >= header.e_shnum) {
        return std::nullopt;
    }
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (!readAt(fd, header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr))) {
        return std::nullopt;
    }
    const Elf64_Shdr& names = sections[header.e_shstrndx];
    if (names.sh_size > (1u << 20)) {
        return std::nullopt;
    }
    std::vector<char> nameTable(names.sh_size + 1, '\0');
    if (!readAt(fd, names.sh_offset, nameTable.data(), names.sh_size)) {
        return std::nullopt;
    }
    for (const Elf64_Shdr& s : sections) {
        if (s.sh_type != SHT_NOTE || s.sh_name >= names.sh_size ||
            std::string_view(nameTable.data() + s.sh_name) != kVersionSection ||
            s.sh_size > kMaxSection) {
            continue;
        }
        std::vector<char> notes(s.sh_size);
        if (!readAt(fd, s.sh_offset, notes.data(), notes.size())) {
            return std::nullopt;
        }
        return versionInNotes(notes);
    }
    return std::nullopt;
}

std::string versionLine(const FileVersion& version) {
    return "Version " + std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
           std::to_string(version[2]) + "." + std::to_string(version[3]);
}

}  // namespace tvl
