-- The host's file functions over archives made by Info-ZIP, 7-Zip and bsdtar
-- (the adapter's details: the Adapter* tests), and the fall-back to real files.
local T = require("testlib")

local tests = {}

function tests.archives_of_each_tool_and_real_files()
    local dir = T.tmpdir()
    T.sh(([[cd '%s' && mkdir -p src/img src/doc/deep && printf 'hello, world\n' > src/doc.txt &&
        head -c 150000 /dev/urandom > src/img/a.png && seq 1 3000 > src/doc/deep/n.txt &&
        cd src && zip -qr ../info.zip img doc.txt doc && 7zz a -tzip ../seven.zip img doc.txt doc >/dev/null &&
        bsdtar -a -cf ../tar.zip img doc.txt doc &&
        7zz a -tzip -pSecret -mem=AES256 ../aes.zip doc.txt >/dev/null]]):format(dir))
    for _, archive in ipairs({"info.zip", "seven.zip", "tar.zip"}) do
        local base = dir .. "/" .. archive
        for _, name in ipairs({"doc.txt", "img/a.png", "doc/deep/n.txt"}) do
            local bytes, path = T.read(dir .. "/src/" .. name), base .. "/" .. name
            T.eq(host.ReadFile(path), bytes, path)
            local f = assert(host.OpenFile(path))
            T.eq(f:Source() .. f:Read(9) .. f:Seek(-1, 2), "adapter" .. bytes:sub(1, 9) .. 9, path)
            T.eq(f:GetC() == bytes:byte(-1) and f:Eof(), true, "the end of " .. path)
            f:Close()
        end
        T.fields(host.Stat(base .. "/IMG/A.PNG"), {kind = "file", size = 150000, name = "img/a.png"}, archive)
        T.eq(host.ListDirectory(base .. "/doc/deep/")[1].name, "n.txt", archive .. " listed")
    end
    local f = assert(host.OpenFile(dir .. "/src/img/a.png"))
    T.eq(f:Source(), "file", "not served by the adapter")
    f:Close()
    -- No password is ever given for an encrypted entry, but it can be examined.
    T.eq(host.OpenFile(dir .. "/aes.zip/doc.txt"), nil, "an AES entry")
    T.eq(host.Stat(dir .. "/aes.zip/doc.txt").size, 13, "an AES entry examined")
end

T.suite(tests)
