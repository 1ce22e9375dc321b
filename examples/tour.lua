-- A tour of the zip library: make an archive with several methods and
-- passwords, list it with its attributes, extract from it with a progress
-- bar, and read it through archive paths as the host's file layer sees it.
--
--   ./cvxhost ../examples/tour.lua [FOLDER]      (from the build folder)
--
-- Everything happens in FOLDER, or in a temporary folder that is removed at
-- the end.
package.path = (arg[0]:match("^(.*)/") or ".") .. "/lib/?.lua;" .. package.path
local common = require("common")

local function heading(text)
    print()
    print(text)
    print(("-"):rep(#text))
end

local folder = ...
local temporary = folder == nil
folder = folder or common.tempdir()
common.mkdir(folder)
local archive = folder .. "/tour.zip"

-- ------------------------------------------------------------ the library

heading("The zip library")
local names = {}
for name in pairs(zip) do names[#names + 1] = name end
table.sort(names)
print(("%d commands; archives are host objects of type %d (\"ZIP archive\"):"):format(#names,
    zip.GetObjectType()))
for _, name in ipairs(names) do print("  " .. host.Help(name)) end

-- ------------------------------------------------------- making an archive

heading("Making " .. archive)
local files = {
    ["readme.txt"] = "Welcome to the tour.\n" .. common.sampleText(4000, 11),
    ["manual.txt"] = common.sampleText(90000, 12),
    ["server.log"] = common.sampleText(1500000, 13),
    ["secret.txt"] = "The treasure is buried under the third palm.\n",
    ["legacy.txt"] = "Written with the old, weak encryption.\n",
}
for name, data in pairs(files) do common.write(folder .. "/" .. name, data) end

zip.OpenArchive(1, archive, 1006)  -- a new archive, replacing any old one
zip.AddDirectory(1, "docs")
zip.AddFile(1, folder .. "/readme.txt", {newname = "docs/readme.txt",
            comment = "start here", time = "05-Mar-2017 09:07:02"})
zip.AddFile(1, folder .. "/manual.txt", {newname = "docs/manual.txt",
            compression = ZIP_CM_BZIP2, compressionflags = 9})
zip.AddFile(1, folder .. "/server.log", {compression = ZIP_CM_DEFLATE, compressionflags = 1})
zip.AddFile(1, folder .. "/secret.txt", {compression = ZIP_CM_STORE,
            encryption = ZIP_EM_AES_256, password = "palm tree"})
-- Entries encrypted without a password of their own take the default one.
zip.SetDefaultPassword(1, "old times")
local legacy = zip.AddFile(1, folder .. "/legacy.txt", {encryption = ZIP_EM_TRAD_PKWARE})
zip.SetFileComment(1, "Made by examples/tour.lua")
print(("%d entries pending; nothing is written before zip.CloseArchive"):format(
    common.entryCount(1)))

local total = 0
for _, data in pairs(files) do total = total + #data end
local bar = common.bar("writing tour.zip", total)
zip.CloseArchive(1, 0, bar:callback())
bar:finish("-> " .. common.size(host.Stat(archive).size))

-- ------------------------------------------------------------- listing it

heading("What the archive holds")
zip.OpenArchive(1, archive)  -- read mode: no changes, read through the host's files
print(("Comment: %q"):format(zip.GetFileComment(1)))
print(("%-16s %9s %9s  %-7s %-8s %-20s %s"):format("name", "size", "packed", "method",
                                                 "crypt", "time", "comment"))
for i = 0, common.entryCount(1) - 1 do
    local t = zip.GetFileAttributes(1, i)
    print(("%-16s %9d %9d  %-7s %-8s %-20s %s"):format(zip.GetFileAtIndex(1, i), t.size,
        t.compressedsize, common.compressionName(t.compression),
        common.encryptionName(t.encryption), t.time, zip.GetFileComment(1, i)))
end

-- ---------------------------------------------------------- extracting

heading("Extracting")
common.mkdir(folder .. "/out")
local log = zip.LocateFile(1, "SERVER.LOG", {nocase = 1})
bar = common.bar("server.log", zip.GetFileAttributes(1, log).size)
zip.ExtractFile(1, log, folder .. "/out/server.log", {callback = bar:callback()})
bar:finish(common.read(folder .. "/out/server.log") == files["server.log"] and "same bytes"
           or "DIFFERENT BYTES")

local secret = zip.LocateFile(1, "secret.txt")
local ok, message = pcall(zip.ExtractFile, 1, secret, folder .. "/out/secret.txt")
print("  secret.txt without its password: " .. (ok and "extracted?!" or common.reason(message)))
zip.ExtractFile(1, secret, folder .. "/out/secret.txt", {password = "palm tree"})
io.write("  secret.txt with its password:    ", common.read(folder .. "/out/secret.txt"))
zip.SetDefaultPassword(1, "old times")
zip.ExtractFile(1, legacy, folder .. "/out/legacy.txt")
io.write("  legacy.txt by default password:  ", common.read(folder .. "/out/legacy.txt"))
zip.CloseArchive(1)

-- ----------------------------------------------------- through archive paths

heading("Through archive paths")
local readme = archive .. "/Docs/ReadMe.txt"  -- names match without regard to case
print(("host.ReadFile(%q):"):format(readme:match("tour%.zip.*")))
print("  " .. host.ReadFile(readme):match("^[^\n]*"))
local st = host.Stat(archive .. "/docs")
print(("host.Stat(\"tour.zip/docs\"): a %s named %q"):format(st.kind, st.name))
for _, path in ipairs({archive, archive .. "/docs"}) do
    print(("host.ListDirectory(%q):"):format(path:match("tour%.zip.*")))
    for _, e in ipairs(host.ListDirectory(path)) do
        print(("  %-9s %-12s %9d  %s"):format(e.kind, e.name, e.size, e.time))
    end
end
print(("host.ReadFile(\"tour.zip/secret.txt\") gives %s: the file layer has no password")
      :format(tostring(host.ReadFile(archive .. "/secret.txt"))))

if temporary then common.remove(folder) end
