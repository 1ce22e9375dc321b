-- What the example scripts share: a terminal progress bar, sizes for people,
-- folders and files on the real file system, and the names of zip methods.
-- The examples load it with
--   package.path = (arg[0]:match("^(.*)/") or ".") .. "/lib/?.lua;" .. package.path
local common = {}

-- True when standard output is a terminal: the shell started by os.execute
-- inherits it, and its test -t answers for it.
common.terminal = os.execute("test -t 1") == true

-- ------------------------------------------------------------ sizes

function common.size(bytes)
    if bytes < 1024 then return ("%d B"):format(bytes) end
    local units = {"KiB", "MiB", "GiB", "TiB"}
    local value, unit = bytes / 1024, 1
    while value >= 1024 and unit < #units do
        value, unit = value / 1024, unit + 1
    end
    return ("%.1f %s"):format(value, units[unit])
end

-- ------------------------------------------------------ progress bar

-- A bar redrawn on one line of the terminal: label, bar, percent, bytes.
-- Without a terminal only the finished line is printed, once.
local Bar = {}
Bar.__index = Bar

local WIDTH = 24

function common.bar(label, total)
    return setmetatable({label = label, total = total, percent = -1}, Bar)
end

-- text cut to at most width characters and padded to width with spaces.
-- A name is cut between characters, never inside one; a name that is not
-- UTF-8 is counted and cut by bytes.
function common.fit(text, width)
    if utf8.len(text) then
        local cut = utf8.offset(text, width + 1)
        if cut then text = text:sub(1, cut - 1) end
        return text .. (" "):rep(width - utf8.len(text))
    end
    return ("%-" .. width .. "s"):format(text:sub(1, width))
end

function Bar:line(percent)
    local done = math.floor(self.total * percent / 100 + 0.5)
    local filled = percent * WIDTH // 100
    return ("  %s [%s%s] %3d%%  %s / %s"):format(common.fit(self.label, 28), ("#"):rep(filled),
        ("-"):rep(WIDTH - filled), percent, common.size(done), common.size(self.total))
end

-- Shows percent (0 to 100); redraws only when it changes.
function Bar:update(percent)
    if percent == self.percent then return end
    self.percent = percent
    if common.terminal then
        io.write("\r", self:line(percent), "\27[K")  -- and clear what a longer line left
        io.stdout:flush()
    end
end

-- The callback that zip.ExtractFile and zip.CloseArchive call.
function Bar:callback()
    return function(t) self:update(t.progress) end
end

function Bar:finish(note)
    local line = self:line(100) .. (note and "  " .. note or "")
    if common.terminal then
        io.write("\r", line, "\27[K\n")
    else
        print(line)
    end
end

-- Ends the bar's line when the work failed half-way.
function Bar:abandon(message)
    if common.terminal and self.percent >= 0 then io.write("\n") end
    print(("  %s %s"):format(common.fit(self.label, 28), message))
end

-- ------------------------------------------------- files and folders

-- A path quoted for the shell.
function common.quote(path)
    return "'" .. path:gsub("'", "'\\''") .. "'"
end

function common.mkdir(path)
    assert(os.execute("mkdir -p " .. common.quote(path)), "cannot create " .. path)
end

-- Creates every folder of the list (and the folders above them) with as
-- few shells as the command line's length allows: a shell per folder costs
-- far more than writing the files.
function common.mkdirs(paths)
    local i = 1
    while i <= #paths do
        local command, length = {"mkdir -p --"}, 0
        while i <= #paths and length < 65536 do
            command[#command + 1] = common.quote(paths[i])
            length = length + #paths[i] + 3
            i = i + 1
        end
        assert(os.execute(table.concat(command, " ")), "cannot create folders")
    end
end

function common.remove(path)
    os.execute("rm -rf " .. common.quote(path))
end

-- A fresh, empty folder for demo data; remove it with common.remove.
function common.tempdir()
    local path = os.tmpname()
    os.remove(path)
    common.mkdir(path)
    return path
end

function common.write(path, data)
    local f = assert(io.open(path, "wb"))
    f:write(data)
    f:close()
end

function common.read(path)
    local f = assert(io.open(path, "rb"))
    local data = f:read("a")
    f:close()
    return data
end

-- Bytes that compress the way real data does: words with some noise.
function common.sampleText(bytes, seed)
    local words = {"archive", "entry", "deflate", "stream", "header", "local", "central",
                   "directory", "offset", "method", "extra", "field", "comment", "zip"}
    local state = seed or 1
    local parts, length = {}, 0
    while length < bytes do
        state = (state * 1103515245 + 12345) % 2147483648
        local word = words[state % #words + 1]
        if state % 7 == 0 then word = word .. "\n" end
        parts[#parts + 1] = word
        length = length + #word + 1
    end
    return table.concat(parts, " "):sub(1, bytes)
end

-- Every file and folder below root, as paths relative to it, folders
-- before what they hold, in name order. Uses the host's own listing.
function common.walk(root)
    local found = {}
    local function visit(relative)
        local listing = assert(host.ListDirectory(relative == "" and root or root .. "/" .. relative),
                               "cannot list " .. root .. "/" .. relative)
        for _, e in ipairs(listing) do
            local path = relative == "" and e.name or relative .. "/" .. e.name
            found[#found + 1] = {path = path, kind = e.kind, size = e.size}
            if e.kind == "directory" then visit(path) end
        end
    end
    visit("")
    return found
end

-- ----------------------------------------------------- zip methods

local compression = {}
local encryption = {}
for name, value in pairs(_G) do
    if type(name) == "string" and math.type(value) == "integer" then
        local cm = name:match("^ZIP_CM_(.+)$")
        if cm and cm ~= "DEFAULT" then compression[value] = cm:lower():gsub("_", "-") end
    end
end
encryption[ZIP_EM_NONE] = ""
encryption[ZIP_EM_TRAD_PKWARE] = "PKWARE"
encryption[ZIP_EM_AES_128] = "AES-128"
encryption[ZIP_EM_AES_192] = "AES-192"
encryption[ZIP_EM_AES_256] = "AES-256"
encryption[ZIP_EM_UNKNOWN] = "unknown"
encryption[-1] = "?"
compression[-1] = "?"

function common.compressionName(method)
    return compression[method] or ("method " .. method)
end

function common.encryptionName(method)
    return encryption[method] or ("method " .. method)
end

-- The number of entries of an open archive, through the host's attribute
-- query on the "ZIP archive" object.
function common.entryCount(id)
    return host.GetAttribute(zip.GetObjectType(), id, ZIPATTRNUMENTRIES)
end

-- The message of an error raised by a zip command, without its position.
function common.reason(message)
    return (tostring(message):gsub("^[^:]*:%d+: ", ""))
end

return common
