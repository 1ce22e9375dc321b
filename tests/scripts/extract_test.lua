-- zip.ExtractFile on archives made by python's zipfile, Info-ZIP zip and 7-Zip.
local T = require("testlib")
local Z = require("zip_tools")

-- Extracts recording each progress table; returns them and the progress values joined.
local function extract_recording(id, index, destination, options)
    local seen, progress = {}, {}
    options = options or {}
    options.callback = function(t)
        seen[#seen + 1] = {action = t.action, id = t.id, userdata = t.userdata}
        progress[#progress + 1] = t.progress
    end
    zip.ExtractFile(id, index, destination, options)
    return seen, table.concat(progress, ",")
end

local tests = {}

function tests.blocks_and_progress_of_stored_and_deflated_entries()
    local deflated, payload = Z.python("sizes")
    local stored = T.files({}, ("zip -q -0 -j stored.zip %s/e*"):format(T.quote(payload))) .. "/stored.zip"
    local progress = {e0 = "", e65536 = "100", e65537 = "99,100", e150000 = "43,87,100"}
    for _, archive in ipairs({deflated, stored}) do
        T.with_archive(1, archive, function()
            local out = T.tmpdir()
            for name, expected in pairs(progress) do
                local _, got = extract_recording(1, zip.LocateFile(1, name), out .. "/" .. name)
                T.eq(T.read(out .. "/" .. name), T.read(payload .. "/" .. name), archive .. " " .. name)
                T.eq(got, expected, archive .. " " .. name)
            end
        end)
    end
end

function tests.callbacks_userdata_and_bad_arguments()
    local archive, payload = Z.python("sizes")
    local out = T.tmpdir() .. "/out"
    local handle = zip.OpenArchive(nil, archive)
    local big = zip.LocateFile(handle, "e150000")
    local calls, stop = 0, {reason = "enough"}
    local ok, err = pcall(zip.ExtractFile, handle, big, out,
                          {callback = function() calls = calls + 1; error(stop) end})
    T.eq(ok or err, stop, "the callback's own error value")
    T.eq(calls, 1, "the copy ends after the block of the call")
    T.eq(#T.read(out), 65536, "bytes left")
    T.eq(host.InCallback(), false, "host tag 31 after the error")
    -- What a callback returns is dropped; it does not stop the copy.
    zip.ExtractFile(handle, big, out, {callback = function() return false, "stop", nil end})
    T.eq(#T.read(out), 150000, "bytes after a callback that returns values")
    -- An automatic identifier is handed back as its handle; userdata as itself.
    local data = {"any value"}
    local seen = extract_recording(handle, zip.LocateFile(handle, "e65537"), out, {userdata = data})
    T.fields(seen[2], {action = "ExtractFile", id = handle, userdata = data}, "progress table")
    -- userdata without a callback, unknown keys, arguments past the option table
    zip.ExtractFile(handle, zip.LocateFile(handle, "e65537"), out, {userdata = 5, nocase = 1}, 7)
    T.eq(T.read(out), T.read(payload .. "/e65537"), "data")
    -- Bad arguments touch nothing. Options are copied only once all are fetched: the leak
    -- check would find a password copy.
    local dst = T.tmpdir() .. "/never"
    for _, index in ipairs({-1, 4, 1e10, -1e10}) do T.raises(T.ZIP_ERROR, zip.ExtractFile, handle, index, dst) end
    T.raises(T.NO_ARCHIVE, zip.ExtractFile, 2, 0, dst, "not a table")
    T.raises("function expected", zip.ExtractFile, handle, 1, dst, {password = "pw", callback = 5})
    T.eq(T.exists(dst), false, "destination")
    zip.CloseArchive(handle)
end

-- A missing or wrong password never extracts; the default password serves only when none
-- is given; an unencrypted entry ignores a password.
function tests.passwords()
    local secret = ("classified "):rep(10000)
    local dir = T.files({["secret.txt"] = secret, ["open.txt"] = "plain"}, "zip -q -P 'pass word' trad.zip" ..
        " secret.txt && zip -q trad.zip open.txt && 7zz a -bd -tzip -mem=AES256 -p'pass word' aes.zip" ..
        " secret.txt >/dev/null")
    for _, archive in ipairs({"trad.zip", "aes.zip"}) do
        T.with_archive(1, dir .. "/" .. archive, function()
            local out = T.tmpdir() .. "/out"
            for i, options in ipairs({{}, {callback = next}, {password = "pass wort"}, {password = ""}}) do
                if i == 3 then zip.SetDefaultPassword(1, "pass word") end
                T.raises(T.ZIP_ERROR, zip.ExtractFile, 1, 0, out, options)
                -- One wrong password in 256 passes traditional encryption's check byte.
                T.eq(T.exists(out) and (not options.password or T.read(out) == secret), false, archive)
                os.remove(out)
            end
            host.FailAlloc(1, "tstring")
            T.raises(1000, zip.ExtractFile, 1, 0, out, {password = "pass wort"})
            zip.ExtractFile(1, 0, out)
            T.eq(T.read(out), secret, archive .. ": the default password")
        end)
    end
    T.with_archive(1, dir .. "/trad.zip", function()
        zip.ExtractFile(1, zip.LocateFile(1, "open.txt"), dir .. "/out", {password = "x"})
        T.eq(T.read(dir .. "/out"), "plain", "unencrypted entry")
    end)
    -- Until written, an entry to be encrypted extracts its stored data.
    zip.OpenArchive(1, dir .. "/trad.zip", 1004)
    zip.SetFileEncryption(1, zip.LocateFile(1, "open.txt"), ZIP_EM_AES_128, "pw")
    zip.ExtractFile(1, zip.LocateFile(1, "open.txt"), dir .. "/out")
    T.eq(T.read(dir .. "/out"), "plain", "unencrypted entry, to be encrypted")
    zip.CloseArchive(1, 1)
end

-- A bit flipped anywhere in an AES entry's stored bytes (salt, check bytes,
-- encrypted data, authentication code) is refused, with the password given or
-- as the default, whatever form the entry has: long, short or empty, stored or
-- deflated, by 7-Zip or by libzip (the older form, with a CRC); also with a
-- change of its encryption pending, and with the default password changed by
-- the callback once the extraction has begun.
function tests.tampered_aes_entries_never_extract()
    local lines, dir, size = {}, T.tmpdir(), nil
    for i = 0, 7999 do lines[i + 1] = ("line %d\n"):format(i * 7919 % 10007) end
    local text = table.concat(lines)
    local function extract(bytes, how)  -- 0 by default, 1 given, 2 pending, 3 default changed
        zip.OpenArchive(1, T.write(dir .. "/t.zip", bytes), how == 2 and 1004 or 1005)
        if how ~= 1 then zip.SetDefaultPassword(1, "pw") end
        if how == 2 then zip.SetFileEncryption(1, 0, #bytes % 2 == 0 and ZIP_EM_NONE or ZIP_EM_AES_128) end
        local options = {password = how == 1 and "pw" or nil}
        if how == 3 then options.callback = function() zip.SetDefaultPassword(1, "") end end
        local ok, err = pcall(zip.ExtractFile, 1, 0, dir .. "/out", options)
        zip.CloseArchive(1, 1)
        return ok, tostring(err)
    end
    local seven = "7zz a -tzip -bso0 -bsp0 -ppw -mem="
    for _, row in ipairs({{seven .. "AES128 -mx0", text}, {seven .. "AES256 -mx0", text},
                          {seven .. "AES128", text}, {seven .. "AES256", text},
                          {seven .. "AES256 -mx0", "short"}, {seven .. "AES192", "short short short"},
                          {seven .. "AES256", ""}, {ZIP_CM_STORE, text}, {ZIP_CM_DEFLATE, text:sub(1, 30000)}}) do
        local what = row[1] .. ", " .. #row[2] .. " bytes"
        os.remove(dir .. "/aes.zip")
        T.write(dir .. "/d.bin", row[2])
        if type(row[1]) == "string" then
            T.sh(("cd %s && %s aes.zip d.bin"):format(T.quote(dir), row[1]))
        else
            zip.OpenArchive(1, dir .. "/aes.zip", 1006)
            zip.AddFile(1, dir .. "/d.bin",
                        {encryption = ZIP_EM_AES_256, password = "pw", compression = row[1]})
            zip.CloseArchive(1)
        end
        local intact = T.read(dir .. "/aes.zip")
        T.with_archive(1, dir .. "/aes.zip", function() size = zip.GetFileAttributes(1, 0).compressedsize end)
        -- The entry's stored bytes follow its local header, at the start.
        local first = 31 + string.unpack("<I2", intact, 27) + string.unpack("<I2", intact, 29)
        local last = first + size - 1
        for how = 0, 3 do
            T.eq(extract(intact, how) and T.read(dir .. "/out"), row[2], what .. ", way " .. how)
        end
        local at = first
        while at <= last do
            local flip = string.char(intact:byte(at) ~ (1 << at % 8))
            local ok, err = extract(intact:sub(1, at - 1) .. flip .. intact:sub(at + 1), at % 4)
            T.eq(not ok and err:find(T.ZIP_ERROR, 1, true) ~= nil, true, what .. ": flip at " .. at .. ", " .. err)
            at = at == last and last + 1 or math.min(at + size // 29 + 1, last)
        end
    end
end

function tests.entries_with_data_descriptors_and_directories()
    -- Info-ZIP writing to a pipe cannot seek back: it writes data descriptors.
    local _, payload = Z.python("sizes")  -- e150000 does not compress well
    local dir = T.files({["small.txt"] = ("small"):rep(10)},
        ("cp %s/e150000 . && zip -q - e150000 small.txt | cat > streamed.zip"):format(T.quote(payload)))
    T.with_archive(1, dir .. "/streamed.zip", function()
        for _, name in ipairs({"e150000", "small.txt"}) do
            zip.ExtractFile(1, zip.LocateFile(1, name), dir .. "/out")
            T.eq(T.read(dir .. "/out"), T.read(dir .. "/" .. name), name)
        end
    end)
    T.with_archive(1, Z.python("names"), function()
        local seen = extract_recording(1, zip.LocateFile(1, "dir/"), dir .. "/out")
        T.eq(T.read(dir .. "/out") .. #seen, "0", "a directory entry: an empty file and no callback")
    end)
end

local function crc32(bytes)
    local crc = 0xFFFFFFFF
    for i = 1, #bytes do
        crc = crc ~ bytes:byte(i)
        for _ = 1, 8 do crc = (crc >> 1) ~ (0xEDB88320 & -(crc & 1)) end
    end
    return crc ~ 0xFFFFFFFF
end

-- Every prefix of small archives by real tools, and each with a bit flipped: nothing stays
-- allocated or open, and what is extracted matches the CRC recorded (AES entries have none).
function tests.every_prefix_and_every_bit_flipped()
    local seven = "7zz a -tzip -bso0 -bsp0 "
    local dir = T.files({["doc.txt"] = ("a document, "):rep(3) .. "\n", ["b.txt"] = "bzip2 bzip2 bzip2",
                         ["t.txt"] = "traditional", ["aes.txt"] = "advanced", ["g.txt"] = "g"},
        "mkdir d e && printf s > d/s.txt && : > e/f.txt && zip -q -X info.zip doc.txt d/s.txt && " ..
        seven .. "-mm=BZip2 bzip2.zip b.txt && zip -q -X -P pw trad.zip t.txt && " ..
        seven .. "-pSecret -mem=AES256 aes.zip aes.txt && python3 -c \"import zipfile\n" ..
        "with zipfile.ZipFile('py.zip', 'w', zipfile.ZIP_DEFLATED) as z: z.write('e/f.txt'); z.write('g.txt')\"")
    local damaged, out = dir .. "/damaged.zip", dir .. "/out"
    local function try(bytes, what)
        T.write(damaged, bytes)
        for _, mode in ipairs({1005, 1004}) do
            if pcall(zip.OpenArchive, 1, damaged, mode) then
                for i = 0, math.min(T.count(1), 32) - 1 do
                    pcall(zip.GetFileAtIndex, 1, i)
                    local ok, t = pcall(zip.GetFileAttributes, 1, i)
                    local aes = ok and t.encryption >= ZIP_EM_AES_128 and t.encryption <= ZIP_EM_AES_256
                    for _, password in ipairs({"pw", "Secret"}) do
                        if pcall(zip.ExtractFile, 1, i, out, {password = password}) and ok and not aes then
                            T.eq(crc32(T.read(out)), t.crc32, what .. ": entry " .. i .. " extracted")
                        end
                    end
                end
                zip.CloseArchive(1, 1)
            end
        end
        T.no_leaks(what)
    end
    for _, archive in ipairs({"info.zip", "bzip2.zip", "trad.zip", "aes.zip", "py.zip"}) do
        local intact = T.read(dir .. "/" .. archive)
        for i = 1, #intact do
            try(intact:sub(1, i - 1), archive .. ", prefix " .. (i - 1))
            local flip = string.char(intact:byte(i) ~ (1 << ((i - 1) * 3 % 8)))
            try(intact:sub(1, i - 1) .. flip .. intact:sub(i + 1), archive .. ", flip at " .. (i - 1))
        end
    end
end

-- While a callback runs, its archive may be read but not closed or reopened; a nested
-- extraction releases only its own guard, and the guard goes on every path out.
function tests.the_callback_guard()
    local archive, payload = Z.python("sizes")
    local out = T.tmpdir()
    zip.OpenArchive(1, archive)
    local big = zip.LocateFile(1, "e150000")
    zip.ExtractFile(1, big, out .. "/outer", {callback = function(t)
        if t.progress ~= 43 then return end
        T.raises(T.ZIP_ERROR, zip.OpenArchive, 1, archive)
        zip.ExtractFile(1, zip.LocateFile(1, "e65537"), out .. "/nested", {callback = function()
            T.raises(T.ZIP_ERROR, zip.CloseArchive, 1)
        end})
        T.raises(T.ZIP_ERROR, zip.CloseArchive, 1)
    end})
    T.eq(T.read(out .. "/outer"), T.read(payload .. "/e150000"), "outer data")
    T.raises("out", zip.ExtractFile, 1, big, out .. "/x", {callback = function() error("out") end})
    zip.CloseArchive(1)
end

T.suite(tests)
