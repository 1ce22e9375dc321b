-- Shared helpers for the script tests. Each test file is run by cvxhost
-- with --check-leaks from this folder, so the host itself fails the test
-- when anything is left allocated or open at the end.
local T = {}

local counter = 0
local root = os.getenv("ZIPCVX_TMP") or "/tmp"

-- A fresh, empty directory for the calling test file.
function T.tmpdir()
    counter = counter + 1
    local name = (arg and arg[0] or "test"):match("([^/]+)%.lua$") or "test"
    local dir = ("%s/%s.%d.%d"):format(root, name, counter, math.random(1 << 30))
    T.sh(("rm -rf '%s' && mkdir -p '%s'"):format(dir, dir))
    return dir
end

function T.sh(command)
    local ok, how, code = os.execute(command)
    if not ok then error(("command failed (%s %s): %s"):format(how, code, command), 2) end
end

-- Output of a shell command, and whether it succeeded.
function T.run(command)
    local pipe = io.popen(command .. " 2>&1")
    local output = pipe:read("a")
    local ok = pipe:close()
    return output, ok
end

function T.read(path)
    local f = assert(io.open(path, "rb"))
    local data = f:read("a")
    f:close()
    return data
end

function T.write(path, data)
    local f = assert(io.open(path, "wb"))
    f:write(data)
    f:close()
end

function T.exists(path)
    local f = io.open(path, "rb")
    if f then f:close() end
    return f ~= nil
end

local function show(v)
    if type(v) == "string" then return ("%q"):format(v) end
    return tostring(v)
end

function T.eq(actual, expected, what)
    if actual ~= expected then
        error(("%s: expected %s, got %s"):format(what or "value", show(expected), show(actual)), 2)
    end
end

-- Calls f and checks that it raises an error whose message contains text.
function T.raises(text, f, ...)
    local ok, message = pcall(f, ...)
    if ok then error(("expected an error containing %q, but the call succeeded"):format(text), 2) end
    message = tostring(message)
    if not message:find(text, 1, true) then
        error(("expected an error containing %q, got %q"):format(text, message), 2)
    end
    return message
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
