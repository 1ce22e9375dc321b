-- The host's file functions over archives made by Info-ZIP, 7-Zip and bsdtar,
-- and the fall-back to real files.
local T = require("testlib")

local dir = T.tmpdir()
T.sh(([[cd '%s' && mkdir -p src/img src/doc/deep && printf 'hello, world\n' > src/doc.txt &&
        head -c 150000 /dev/urandom > src/img/a.png && seq 1 3000 > src/doc/deep/n.txt &&
        cd src && zip -qr ../info.zip img doc.txt doc && 7zz a -tzip ../seven.zip img doc.txt doc >/dev/null &&
        bsdtar -a -cf ../tar.zip img doc.txt doc &&
        7zz a -tzip -pSecret -mem=AES256 ../aes.zip doc.txt >/dev/null]]):format(dir))

local function names(listing)
    if not listing then return "none" end
    local out = {}
    for _, e in ipairs(listing) do out[#out + 1] = e.kind:sub(1, 1) .. ":" .. e.name end
    table.sort(out)
    return table.concat(out, " ")
end

local tests = {}

function tests.entries_of_each_tools_archive()
    for _, archive in ipairs({"info.zip", "seven.zip", "tar.zip"}) do
        local base = dir .. "/" .. archive
        for _, name in ipairs({"doc.txt", "img/a.png", "doc/deep/n.txt"}) do
            local bytes, path = T.read(dir .. "/src/" .. name), base .. "/" .. name
            T.eq(host.ReadFile(path), bytes, path)
            local f = assert(host.OpenFile(path))
            T.eq(f:Source() .. f:Read(9) .. f:Seek(-1, 2), "adapter" .. bytes:sub(1, 9) .. 9, path)
            T.eq(f:GetC() == bytes:byte(-1) and f:Eof(), true, "the end of " .. path)
            T.fields(f:Stat(), {kind = "file", name = name, origin = 2, originpath = base}, path)
            f:Close()
        end
        T.fields(host.Stat(base .. "/IMG/A.PNG"), {kind = "file", size = 150000, name = "img/a.png"}, archive)
        T.fields(host.Stat(base .. "/doc\\deep\\"), {kind = "directory", size = 0, name = "doc/deep/"}, archive)
        for path, listing in pairs({[""] = "d:doc d:img f:doc.txt", ["/IMG"] = "f:a.png",
                                    ["/doc/deep/"] = "f:n.txt", ["/doc.txt"] = "none"}) do
            T.eq(names(host.ListDirectory(base .. path)), listing, archive .. path)
        end
    end
end

function tests.everything_else_is_a_real_file()
    local f = assert(host.OpenFile(dir .. "/src/img/a.png"))
    T.fields({f:Source(), f:Stat().size}, {"file", 150000}, "not served by the adapter")
    f:Close()
    T.eq(host.Stat(dir .. "/info.zip").kind, "file", "the archive itself")
    T.eq(names(host.ListDirectory(dir .. "/src")), "d:doc d:img f:doc.txt", "a real listing")
    -- No password is ever given for an encrypted entry, but it can be
    -- examined and listed.
    T.eq(host.OpenFile(dir .. "/aes.zip/doc.txt"), nil, "an AES entry")
    T.eq(host.Stat(dir .. "/aes.zip/doc.txt").size, 13, "an AES entry examined")
    T.eq(names(host.ListDirectory(dir .. "/aes.zip")), "f:doc.txt", "and listed")
end

T.suite(tests)
