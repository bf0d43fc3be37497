-- Local files as the console's commands name them: "~" expanded, existence, folders,
-- sizes and absolute paths.
local M = {}

-- Whether the program runs on Windows (Lua's directory separator is "\\" there).
M.windows = package.config:sub(1, 1) == "\\"

-- A local path as typed: "~" and "~/..." name the home folder (the user's profile folder on
-- Windows); "$VAR" is kept as it is.
function M.expand(path)
  if path == "~" or path:sub(1, 2) == "~/" then
    local home = M.windows and os.getenv("USERPROFILE") or os.getenv("HOME")
    if home and home ~= "" then return (home:gsub("/+$", "")) .. path:sub(2) end
  end
  return path
end

-- Whether a folder is at path. Linux opens a folder for reading and fails the read
-- (EISDIR); Windows opens none (EACCES, as for a file it may not read, which its folder
-- lists among its files).
function M.is_folder(path)
  local f, _, open_code = io.open(path, "rb")
  if f then
    local _, err, code = f:read(1)
    f:close()
    return code == 21 or (err ~= nil and err:find("directory", 1, true) ~= nil)
  end
  if not M.windows or open_code ~= 13 then return false end
  local parent, name = path:match("^(.-)[/\\]*([^/\\]+)[/\\]*$")
  if not name then return false end
  if parent == "" then
    parent = path:match("^[/\\]") and "/" or "."
  elseif parent:match("^%a:$") then
    parent = parent .. "/"
  end
  return GetObject("Win32Shell.Object"):GetExtFiles(parent, name) == nil
end

-- Whether something that can be opened for reading (a file or a folder) is at path.
function M.exists(path)
  local f = io.open(path, "rb")
  if not f then return M.is_folder(path) end
  f:close()
  return true
end

-- The size of the file at path; 0 when it cannot be read.
function M.size(path)
  local f = io.open(path, "rb")
  if not f then return 0 end
  local size = f:seek("end") or 0
  f:close()
  return size
end

-- Whether path names its place without a current folder: "/..." here; on Windows also a
-- drive with its root ("C:\..." or "C:/...") and a path from the root ("\\server\share").
function M.is_absolute(path)
  if path:sub(1, 1) == "/" then return true end
  return M.windows and (path:match("^%a:[/\\]") ~= nil or path:sub(1, 1) == "\\")
end

-- path expanded and made absolute against the current folder.
function M.absolute(path)
  path = M.expand(path)
  if M.is_absolute(path) then return path end
  return (os.getenv("PWD") or ".") .. "/" .. path
end

return M
