-- The host's file functions over archives of Info-ZIP, 7-Zip and bsdtar, and over real files.
local T = require("testlib")

local tests = {}

function tests.archives_of_each_tool_and_real_files()
    local dir = T.files({["doc.txt"] = "hello, world\n"}, "mkdir img && head -c 150000 /dev/urandom > img/a.png" ..
        " && zip -qr info.zip img doc.txt && 7zz a -tzip seven.zip img doc.txt >/dev/null" ..
        " && bsdtar -a -cf tar.zip img doc.txt && 7zz a -tzip -pSecret -mem=AES256 aes.zip doc.txt >/dev/null")
    for _, archive in ipairs({"info.zip", "seven.zip", "tar.zip"}) do
        for _, name in ipairs({"doc.txt", "IMG/A.PNG"}) do
            local path, bytes = dir .. "/" .. archive .. "/" .. name, T.read(dir .. "/" .. name:lower())
            T.eq(host.ReadFile(path), bytes, path)
            local f = assert(host.OpenFile(path))
            T.eq(f:Source() .. f:Read(9) .. f:Seek(-1, 2), "adapter" .. bytes:sub(1, 9) .. 9, path)
            T.eq(f:GetC() == bytes:byte(-1) and f:Eof(), true, "the end of " .. path)
            f:Close()
        end
        T.eq(host.ListDirectory(dir .. "/" .. archive .. "/img")[1].name, "a.png", archive .. " listed")
    end
    local f = assert(host.OpenFile(dir .. "/doc.txt"))
    T.eq(f:Source(), "file", "not served by the adapter")
    f:Close()
    -- No password is ever given for an encrypted entry, but it can be examined.
    T.eq(host.OpenFile(dir .. "/aes.zip/doc.txt"), nil, "an AES entry")
    T.eq(host.Stat(dir .. "/aes.zip/doc.txt").size, 13, "an AES entry examined")
end

T.suite(tests)
