-- The host's file functions over archives made by Info-ZIP, 7-Zip and bsdtar,
-- and the fall-back to real files.
local T = require("testlib")

local dir = T.tmpdir()
T.sh(([[cd '%s' && mkdir -p src/img src/doc/deep && printf 'hello, world\n' > src/doc.txt &&
        head -c 150000 /dev/urandom > src/img/a.png && seq 1 3000 > src/doc/deep/n.txt &&
        cd src && zip -qr ../info.zip img doc.txt doc && 7zz a -tzip ../seven.zip img doc.txt doc >/dev/null &&
        bsdtar -a -cf ../tar.zip img doc.txt doc &&
        7zz a -tzip -pSecret -mem=AES256 ../aes.zip doc.txt >/dev/null]]):format(dir))
local original = {}
for _, name in ipairs({"doc.txt", "img/a.png", "doc/deep/n.txt"}) do
    original[name] = T.read(dir .. "/src/" .. name)
end

local function names(listing)
    local out = {}
    for _, e in ipairs(listing) do out[#out + 1] = e.kind:sub(1, 1) .. ":" .. e.name end
    table.sort(out)
    return table.concat(out, " ")
end

local tests = {}

function tests.entries_of_each_tools_archive()
    for _, archive in ipairs({"info.zip", "seven.zip", "tar.zip"}) do
        local base = dir .. "/" .. archive
        for name, bytes in pairs(original) do
            local path = base .. "/" .. name
            T.eq(host.ReadFile(path), bytes, path)
            local f = assert(host.OpenFile(path))
            T.eq(f:Source(), "adapter", path)
            T.eq(f:Read(9), bytes:sub(1, 9), "Read " .. path)
            T.eq(f:Seek(-1, 2), 9, "Seek " .. path)
            T.eq(f:GetC(), bytes:byte(-1), "the last byte of " .. path)
            T.eq(f:Eof(), true, "the end of " .. path)
            T.fields(f:Stat(), {kind = "file", name = name, origin = 2, originpath = base}, "FStat " .. path)
            f:Close()
            f:Close()  -- closing twice is harmless
        end
        local st = assert(host.Stat(base .. "/IMG/A.PNG"), archive)
        T.fields(st, {kind = "file", size = 150000, name = "img/a.png"}, archive)
        T.eq(host.Stat(base .. "/doc.txt", {fullname = true}).name, "doc.txt", archive .. " full name")
        for _, path in ipairs({"img", "img/", "doc/deep", "doc\\deep\\"}) do
            st = assert(host.Stat(base .. "/" .. path), archive .. " " .. path)
            T.fields(st, {kind = "directory", size = 0}, archive .. " " .. path)
            T.eq(st.name:sub(-1) == "/" and not st.name:find("//", 1, true), true,
                 archive .. " " .. path .. ": one '/' at the end of " .. st.name)
        end
        T.eq(host.Stat(base .. "/im"), nil, archive)
        for path, listing in pairs({[""] = "d:doc d:img f:doc.txt", ["/IMG"] = "f:a.png", ["/doc"] = "d:deep",
                                    ["/doc/deep/"] = "f:n.txt", ["/"] = "none", ["/doc.txt"] = "none"}) do
            local got = host.ListDirectory(base .. path)
            T.eq(got and names(got) or "none", listing, archive .. path)
        end
        T.fields(host.ListDirectory(base .. "/img")[1], {size = 150000, source = "adapter"}, archive)
    end
end

function tests.everything_else_is_a_real_file()
    T.eq(host.ReadFile(dir .. "/src/doc.txt"), original["doc.txt"], "a real file")
    local f = assert(host.OpenFile(dir .. "/src/img/a.png"))
    T.fields({f:Source(), f:Stat().size}, {"file", 150000}, "not served by the adapter")
    f:Close()
    T.eq(host.Stat(dir .. "/info.zip").kind, "file", "the archive itself")
    T.eq(host.Stat(dir .. "/src").kind, "directory", "a real directory")
    T.eq(names(host.ListDirectory(dir .. "/src")), "d:doc d:img f:doc.txt", "a real listing")
    T.eq(host.Stat(dir .. "/missing"), nil, "no such file")
    -- No password is ever given for an encrypted entry, but it can be
    -- examined and listed.
    T.eq(host.OpenFile(dir .. "/aes.zip/doc.txt"), nil, "an AES entry")
    T.eq(host.Stat(dir .. "/aes.zip/doc.txt").size, #original["doc.txt"], "an AES entry examined")
    T.eq(names(host.ListDirectory(dir .. "/aes.zip")), "f:doc.txt", "and listed")
end

T.suite(tests)
