# The 32-bit PE file as the Windows loader reads it: sections with their
# protections, imports by DLL and name, exports by name, base relocations.
import struct
from dataclasses import dataclass, field

SCN_EXECUTE, SCN_READ, SCN_WRITE = 0x20000000, 0x40000000, 0x80000000
PAGE = 0x1000


@dataclass
class Section:
    name: str
    rva: int
    virtual_size: int
    data: bytes            # raw bytes; the rest of virtual_size is zero
    readable: bool
    writable: bool
    executable: bool


@dataclass
class Import:
    dll: str               # upper case, as the loader compares it
    name: str              # or '#ordinal'
    iat_rva: int           # the slot the loader fills with the address


@dataclass
class PeImage:
    preferred_base: int
    image_size: int
    header_size: int
    entry_rva: int
    raw: bytes
    sections: list = field(default_factory=list)
    imports: list = field(default_factory=list)
    exports: dict = field(default_factory=dict)     # name -> rva
    relocations: list = field(default_factory=list)  # rvas of 32-bit absolute addresses


def read_pe(path):
    raw = open(path, 'rb').read()
    u16 = lambda at: struct.unpack_from('<H', raw, at)[0]
    u32 = lambda at: struct.unpack_from('<I', raw, at)[0]
    pe = u32(0x3C)
    if raw[pe:pe + 4] != b'PE\0\0' or u16(pe + 4) != 0x14C:
        raise ValueError(f'{path}: not a 32-bit x86 PE file')
    optional = pe + 24
    if u16(optional) != 0x10B:
        raise ValueError(f'{path}: not PE32')
    image = PeImage(preferred_base=u32(optional + 28), image_size=u32(optional + 56),
                    header_size=u32(optional + 60), entry_rva=u32(optional + 16), raw=raw)
    directories = [(u32(optional + 96 + 8 * i), u32(optional + 100 + 8 * i)) for i in range(u32(optional + 92))]
    table = optional + u16(pe + 20)
    for i in range(u16(pe + 6)):
        at = table + 40 * i
        name = raw[at:at + 8].rstrip(b'\0').decode()
        vsize, rva, rawsize, rawptr, flags = u32(at + 8), u32(at + 12), u32(at + 16), u32(at + 20), u32(at + 36)
        vsize = vsize or rawsize
        image.sections.append(Section(name, rva, vsize, raw[rawptr:rawptr + min(rawsize, vsize)],
                                      bool(flags & SCN_READ), bool(flags & SCN_WRITE), bool(flags & SCN_EXECUTE)))

    def at_rva(rva):
        for s in image.sections:
            if s.rva <= rva < s.rva + s.virtual_size:
                return s.data, rva - s.rva
        raise ValueError(f'rva {rva:#x} outside every section')

    def string(rva):
        data, offset = at_rva(rva)
        return data[offset:data.index(b'\0', offset)].decode()

    def word(rva, size=4):
        data, offset = at_rva(rva)
        return int.from_bytes(data[offset:offset + size], 'little')

    export_rva, _ = directories[0]
    if export_rva:
        functions, names, ordinals = word(export_rva + 28), word(export_rva + 32), word(export_rva + 36)
        for i in range(word(export_rva + 24)):
            image.exports[string(word(names + 4 * i))] = word(functions + 4 * word(ordinals + 2 * i, 2))
    import_rva, _ = directories[1]
    while import_rva and word(import_rva + 12):
        dll = string(word(import_rva + 12)).upper()
        lookup, iat = word(import_rva) or word(import_rva + 16), word(import_rva + 16)
        for slot in range(0x10000):
            entry = word(lookup + 4 * slot)
            if not entry:
                break
            name = f'#{entry & 0xFFFF}' if entry & 0x80000000 else string(entry + 2)
            image.imports.append(Import(dll, name, iat + 4 * slot))
        import_rva += 20
    reloc_rva, reloc_size = directories[5] if len(directories) > 5 else (0, 0)
    end = reloc_rva + reloc_size
    while reloc_rva and reloc_rva < end:
        page, block = word(reloc_rva), word(reloc_rva + 4)
        for i in range((block - 8) // 2):
            entry = word(reloc_rva + 8 + 2 * i, 2)
            kind = entry >> 12
            if kind == 3:
                image.relocations.append(page + (entry & 0xFFF))
            elif kind != 0:
                raise ValueError(f'relocation type {kind} at {page + (entry & 0xFFF):#x}')
        reloc_rva += block
    return image


def page_round(size):
    return (size + PAGE - 1) & ~(PAGE - 1)
