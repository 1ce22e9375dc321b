-- The host's file functions over the plugin's adapter: paths into archives
-- made by the real tools read, seek, stat and list like files and folders,
-- and everything else falls back to the real file system.
local T = require("testlib")

local dir = T.tmpdir()
T.sh(([[cd '%s' && mkdir -p src/img src/doc/deep && printf 'hello, world\n' > src/doc.txt &&
        head -c 150000 /dev/urandom > src/img/a.png && seq 1 3000 > src/doc/deep/n.txt &&
        cd src && zip -qr ../info.zip img doc.txt doc && 7zz a -tzip ../seven.zip img doc.txt doc >/dev/null &&
        bsdtar -a -cf ../tar.zip img doc.txt doc && zip -q0 ../stored.zip doc.txt &&
        7zz a -tzip -pSecret -mem=AES256 ../aes.zip doc.txt >/dev/null]]):format(dir))
local original = {
    ["doc.txt"] = T.read(dir .. "/src/doc.txt"),
    ["img/a.png"] = T.read(dir .. "/src/img/a.png"),
    ["doc/deep/n.txt"] = T.read(dir .. "/src/doc/deep/n.txt"),
}
local archives = {"info.zip", "seven.zip", "tar.zip"}

local function names(listing)
    local out = {}
    for _, e in ipairs(listing) do out[#out + 1] = e.kind:sub(1, 1) .. ":" .. e.name end
    table.sort(out)
    return table.concat(out, " ")
end

local tests = {}

function tests.entries_read_like_files()
    for _, archive in ipairs(archives) do
        for name, bytes in pairs(original) do
            local path = dir .. "/" .. archive .. "/" .. name
            T.eq(host.ReadFile(path), bytes, path)
            T.eq(host.ReadFile(dir .. "/" .. archive .. "/" .. name:upper()), bytes, "upper case " .. path)
            local f = assert(host.OpenFile(path))
            T.eq(f:Source(), "adapter", path)
            local first = f:GetC()
            T.eq(first, bytes:byte(1), "GetC " .. path)
            T.eq(f:Read(9), bytes:sub(2, 10), "Read " .. path)
            f:Close()
            f:Close() -- closing twice is harmless
        end
    end
end

function tests.seeking_uses_the_adapters_modes()
    local bytes = original["img/a.png"]
    local f = assert(host.OpenFile(dir .. "/info.zip/img/a.png"))
    T.eq(f:Seek(100000, 1), 0, "from the start")
    T.eq(f:Read(4), bytes:sub(100001, 100004), "after a forward seek")
    T.eq(f:Seek(-8, 0), 100004, "from the current position")
    T.eq(f:Read(8), bytes:sub(99997, 100004), "after a backward seek")
    T.eq(f:Seek(-1, 2), 100004, "from the end")
    T.eq(f:GetC(), bytes:byte(-1), "the last byte")
    T.eq(f:Eof(), true, "at the end")
    T.eq(f:GetC(), nil, "nothing behind the end")
    T.eq(f:Seek(10, 2), 150000, "past the end")
    T.eq(f:Read(1), "", "past the end")
    f:Seek(-10, 1)
    T.eq(f:Read(4), "", "before the start")
    T.eq(f:Eof(), false, "before the start is not the end")
    f:Seek(0, 1)
    T.eq(f:Read(-1), "", "a negative count")
    local st = f:Stat()
    T.eq(st.kind, "file", "FStat kind")
    T.eq(st.name, "img/a.png", "FStat name")
    T.eq(st.origin, 2, "FStat origin")
    T.eq(st.originpath, dir .. "/info.zip", "FStat archive path")
    f:Close()
end

function tests.stat_tells_files_from_directories()
    for _, archive in ipairs(archives) do
        local base = dir .. "/" .. archive .. "/"
        local st = assert(host.Stat(base .. "IMG/A.PNG"), archive)
        T.eq(st.kind, "file", archive)
        T.eq(st.size, 150000, archive)
        T.eq(st.name, "img/a.png", archive)
        for _, path in ipairs({"img", "img/", "doc/deep", "doc\\deep\\"}) do
            st = assert(host.Stat(base .. path), archive .. " " .. path)
            T.eq(st.kind, "directory", archive .. " " .. path)
            T.eq(st.size, 0, archive .. " " .. path)
            T.eq(st.name:sub(-1), "/", archive .. " " .. path)
            T.eq(st.name:find("//", 1, true), nil, archive .. " " .. path)
        end
        T.eq(host.Stat(base .. "im"), nil, archive)
        st = assert(host.Stat(base .. "doc.txt", {fullname = true}))
        T.eq(st.name, "doc.txt", "full name")
    end
    -- Dates are local time, month from 0, full year, the same three times.
    T.sh(("cd '%s/src' && touch -d '2017-01-05 09:07:02' doc.txt && zip -q ../dated.zip doc.txt"):format(dir))
    local st = host.Stat(dir .. "/dated.zip/doc.txt")
    for i = 1, 3 do
        local d = st.dates[i]
        T.eq(("%d %d %d %d %d %d"):format(d.year, d.month, d.day, d.hour, d.minute, d.second),
             "2017 0 5 9 7 2", "date group " .. i)
    end
    T.eq(st.time, "2017-01-05 09:07:02", "the first date as text")
end

function tests.listings_show_the_implied_tree()
    for _, archive in ipairs(archives) do
        local base = dir .. "/" .. archive
        T.eq(names(assert(host.ListDirectory(base), archive)), "d:doc d:img f:doc.txt", archive)
        T.eq(names(assert(host.ListDirectory(base .. "/IMG"))), "f:a.png", archive)
        T.eq(names(assert(host.ListDirectory(base .. "/doc"))), "d:deep", archive)
        T.eq(names(assert(host.ListDirectory(base .. "/doc/deep/"))), "f:n.txt", archive)
        T.eq(host.ListDirectory(base .. "/"), nil, archive .. "/")
        T.eq(host.ListDirectory(base .. "/doc.txt"), nil, archive .. " file")
    end
    local listing = host.ListDirectory(dir .. "/info.zip/img")
    T.eq(listing[1].size, 150000, "file size in a listing")
    T.eq(listing[1].source, "adapter", "served by the adapter")
end

function tests.everything_else_is_a_real_file()
    T.eq(host.ReadFile(dir .. "/src/doc.txt"), original["doc.txt"], "a real file")
    local f = assert(host.OpenFile(dir .. "/src/img/a.png"))
    T.eq(f:Source(), "file", "not served by the adapter")
    T.eq(f:Seek(149999, 1), 0, "real seek")
    T.eq(f:GetC(), original["img/a.png"]:byte(-1), "real GetC")
    T.eq(f:Eof(), true, "real end")
    T.eq(f:Stat().size, 150000, "real stat")
    f:Close()
    T.eq(host.Stat(dir .. "/info.zip").kind, "file", "the archive itself")
    T.eq(host.Stat(dir .. "/src").kind, "directory", "a real directory")
    T.eq(names(host.ListDirectory(dir .. "/src")), "d:doc d:img f:doc.txt", "a real listing")
    T.eq(host.OpenFile(dir .. "/info.zip/missing"), nil, "no such entry")
    T.eq(host.OpenFile(dir .. "/info.zip/doc.txt", {mode = 1}), nil, "write-only")
    T.eq(host.Stat(dir .. "/missing"), nil, "no such file")
end

function tests.archives_named_by_open_tags()
    local bytes = T.read(dir .. "/info.zip")
    T.eq(host.ReadFile("any.zip/doc.txt", {archive = bytes}), original["doc.txt"], "in memory")
    T.eq(host.ReadFile("any.zip/img/a.png", {archive = "junk" .. bytes, offset = 4}),
         original["img/a.png"], "in memory at an offset")
    T.eq(host.ReadFile("any.zip/doc.txt", {archive = bytes:sub(1, 100)}), nil, "truncated")
    T.write(dir .. "/outer.bin", ("#"):rep(1000) .. bytes)
    local outer = assert(host.OpenFile(dir .. "/outer.bin"))
    outer:Seek(3, 1)
    local f = assert(host.OpenFile("any.zip/doc/deep/n.txt", {file = outer, offset = 1000}))
    T.eq(f:Read(1 << 20), original["doc/deep/n.txt"], "inside another file")
    f:Close()
    T.eq(outer:Seek(0, 0), 3, "the outer file keeps its position")
    outer:Close()
    T.raises("closed", function() outer:Read(1) end)
    T.raises("needs an open real file", host.OpenFile, "x.zip/a", {file = f})
end

function tests.corrupt_and_encrypted_entries_are_not_served_as_good()
    local path = dir .. "/stored.zip"
    local bytes = T.read(path)
    local at = bytes:find("hello, world", 1, true)
    T.write(dir .. "/bad.zip", bytes:sub(1, at - 1) .. "J" .. bytes:sub(at + 1))
    local data, message = host.ReadFile(dir .. "/bad.zip/doc.txt")
    T.eq(data, nil, "a CRC mismatch")
    T.eq(message, "cannot read " .. dir .. "/bad.zip/doc.txt", "its message")
    local f = assert(host.OpenFile(dir .. "/bad.zip/doc.txt"))
    T.eq(f:Read(3), "", "the read that needs the last chunk fails")
    T.eq(f:Eof(), false, "and does not reach the end")
    f:Close()
    T.eq(host.OpenFile(dir .. "/aes.zip/doc.txt"), nil, "no password is ever given")
    T.eq(host.Stat(dir .. "/aes.zip/doc.txt").size, #original["doc.txt"], "but it can be examined")
    T.eq(names(host.ListDirectory(dir .. "/aes.zip")), "f:doc.txt", "and listed")
end

function tests.allocation_failures_leave_nothing_behind()
    local path = dir .. "/info.zip/img/a.png"
    for k = 1, 3 do
        host.FailAlloc(k)
        local data = host.ReadFile(path)
        host.FailAlloc(0)
        T.no_leaks("allocation " .. k)
        if data then
            T.eq(data, original["img/a.png"], "after allocation " .. k)
            T.eq(k, 3, "two allocations")
        end
    end
end

T.suite(tests)
