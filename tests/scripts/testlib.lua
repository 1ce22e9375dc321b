-- Shared helpers for the script tests; cvxhost runs each with --check-leaks.
local T = {}

T.ZIP_ERROR = "A zip error has occurred!"
T.NO_ARCHIVE = "Cannot find specified zip archive!"

local counter = 0
local root = os.getenv("ZIPCVX_TMP") or "/tmp"

function T.quote(text)
    return "'" .. tostring(text):gsub("'", "'\\''") .. "'"
end

function T.sh(command)
    local ok, how, code = os.execute(command)
    if not ok then error(("command failed (%s %s): %s"):format(how, code, command), 2) end
end

-- Output of a shell command, and whether it succeeded.
function T.run(command)
    local pipe = io.popen(command .. " 2>&1")
    local output = pipe:read("a")
    return output, pipe:close() == true
end

-- A fresh, empty directory for the calling test file.
function T.tmpdir()
    counter = counter + 1
    local name = (arg and arg[0] or "test"):match("([^/]+)%.lua$") or "test"
    local dir = ("%s/%s.%d.%d"):format(root, name, counter, math.random(1 << 30))
    T.sh(("rm -rf %s && mkdir -p %s"):format(T.quote(dir), T.quote(dir)))
    return dir
end

function T.read(path)
    local f <close> = assert(io.open(path, "rb"))
    return f:read("a")
end

-- Writes a file, with a modification time if given (a `touch -d` date).
function T.write(path, data, date)
    local f = assert(io.open(path, "wb"))
    f:write(data)
    f:close()
    if date then T.sh(("touch -d %s %s"):format(T.quote(date), T.quote(path))) end
    return path
end

function T.exists(path)
    local f <close> = io.open(path, "rb")
    return f ~= nil
end

-- A fresh folder holding the files (name -> data), with a shell command run in it.
function T.files(contents, command)
    local dir = T.tmpdir()
    for name, data in pairs(contents) do T.write(dir .. "/" .. name, data) end
    if command then
        local output, ok = T.run(("cd %s && %s"):format(T.quote(dir), command))
        if not ok then error("failed: " .. command .. "\n" .. output, 2) end
    end
    return dir
end

local function show(v)
    if type(v) == "string" then return ("%q"):format(#v > 200 and v:sub(1, 200) .. "..." or v) end
    return tostring(v)
end

function T.eq(actual, expected, what)
    if actual ~= expected then
        error(("%s: expected %s, got %s"):format(what or "value", show(expected), show(actual)), 2)
    end
end

-- Checks each field of expected against the same field of actual.
function T.fields(actual, expected, what)
    for key, value in pairs(expected) do T.eq(actual[key], value, what .. " " .. key) end
end

-- Calls f and checks its error: a message containing the text, or a number's host error code.
function T.raises(expected, f, ...)
    local ok, message = pcall(f, ...)
    message = tostring(message)
    if ok then
        error(("expected an error %s, but the call succeeded"):format(show(expected)), 2)
    elseif type(expected) == "number" and host.LastErrorCode() ~= expected then
        error(("expected code %d, got %d: %s"):format(expected, host.LastErrorCode(), message), 2)
    elseif type(expected) == "string" and not message:find(expected, 1, true) then
        error(("expected an error containing %q, got %q"):format(expected, message), 2)
    end
    return message
end

function T.count(id)
    return host.GetAttribute(zip.GetObjectType(), id, ZIPATTRNUMENTRIES)
end

-- Opens an archive under a number for the duration of f.
function T.with_archive(number, path, f)
    zip.OpenArchive(number, path)
    local ok, err = pcall(f)
    zip.CloseArchive(number)
    if not ok then error(err, 0) end
end

-- Nothing allocated by the plugin and no host file open right now.
function T.no_leaks(what)
    local live = {}
    for tag, count in pairs(host.Allocations()) do live[#live + 1] = tag .. "=" .. count end
    if #live > 0 then error((what or "") .. ": live allocations: " .. table.concat(live, ", "), 2) end
    T.eq(host.OpenFiles(), 0, (what or "") .. ": open host files")
end

-- Runs the named test functions of a table in name order, printing each.
function T.suite(tests)
    local names = {}
    for name in pairs(tests) do names[#names + 1] = name end
    table.sort(names)
    for _, name in ipairs(names) do
        tests[name]()
        T.no_leaks(name)
        print("ok " .. name)
    end
end

return T
