-- Writing an archive: files added with options, a directory, comments, and
-- a change to an archive that exists. Run from the build folder:
--   ./cvxhost ../examples/make_archive.lua
local folder = os.tmpname()
os.remove(folder)
assert(os.execute("mkdir -p '" .. folder .. "'"))
local function write(name, text)
    local f = assert(io.open(folder .. "/" .. name, "wb"))
    f:write(text)
    f:close()
    return folder .. "/" .. name
end

local notes = write("notes.txt", string.rep("Notes worth keeping.\n", 50))
local secret = write("secret.txt", "The password opens this.\n")
local archive = folder .. "/example.zip"

zip.OpenArchive(1, archive, 1006)                     -- a new, empty archive
print("notes.txt is entry " .. zip.AddFile(1, notes))
zip.AddFile(1, secret, {newname = "private/secret.txt", encryption = ZIP_EM_AES_256,
                        password = "open sesame", comment = "AES-256",
                        time = "24-Dec-2020 18:30:00"})
zip.AddDirectory(1, "empty")
zip.SetFileComment(1, "made by make_archive.lua")
-- The file's data is read now, when the archive is written.
zip.CloseArchive(1)

zip.OpenArchive(1, archive, 1004)                     -- change it
zip.RenameFile(1, 0, "docs/notes.txt")
zip.SetFileCompression(1, 0, ZIP_CM_BZIP2, 9)
print("comment of entry 1: " .. zip.GetFileComment(1, 1))
zip.CloseArchive(1)

zip.OpenArchive(1, archive)                           -- and read it
print(("%d entries; the archive's comment: %s"):format(
    host.GetAttribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES), zip.GetFileComment(1)))
zip.CloseArchive(1)
assert(os.execute("rm -r '" .. folder .. "'"))
