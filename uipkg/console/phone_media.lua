-- music, photos, videos and files: what is stored on the phone, listed through the agent.
-- 'files' alone lists the phone's folders and the storage in use; 'files FOLDER' lists the
-- documents, songs, photos and videos under that folder.
local agent = require("console.agent")
local commands = require("console.commands")
local text = require("console.text")

local SHOWN = 10

local function limit(rest)
  return rest == "all" and math.huge or SHOWN
end

local function minutes(seconds)
  seconds = tonumber(seconds) or 0
  return string.format("%d:%02d", math.floor(seconds / 60), seconds % 60)
end

local function listing(kind, rest, line, noun)
  local shown = limit(rest)
  agent.list(kind, {}, function(r, n)
    if n <= shown then print(text.clean(line(r))) end
  end, function(count)
    local more = count > shown and string.format(" (first %d shown; add 'all' for every one)", shown) or ""
    print(string.format("%d %s%s", count, noun, more))
  end)
end

commands.add("music", "music [all]               list the songs on the phone", function(rest)
  listing(Macro.MSG_MUSIC_LIST, rest, function(r)
    return string.format("%s  %s - %s  %s  %s  %s", r.ID, r.Singer, r.Zhuanji, minutes(r.Timer), text.bytes(r.Size),
      r.Path)
  end, "songs")
end)

commands.add("photos", "photos [all]              list the photos on the phone", function(rest)
  listing(Macro.MSG_PICTURE_LIST, rest, function(r)
    return string.format("%s  %s  %s", r.ID, text.bytes(r.Size), r.FilePath)
  end, "photos")
end)

commands.add("videos", "videos [all]              list the videos on the phone", function(rest)
  listing(Macro.MSG_VIDEO_LIST, rest, function(r)
    return string.format("%s  %s  %s", r.ID, text.bytes(r.Size), r.FilePath)
  end, "videos")
end)

local FOLDERS = Macro.MSG_FOLDER_LIST
-- The lists that hold files with a path, and the field naming it in each.
local FILE_LISTS = {
  { Macro.MSG_DOCUMENT_LIST, "FilePath" }, { Macro.MSG_MUSIC_LIST, "Path" }, { Macro.MSG_PICTURE_LIST, "FilePath" },
  { Macro.MSG_VIDEO_LIST, "FilePath" },
}

local function list_folders()
  local count = 0
  -- Frames with folders bring a list; the end frame brings the bytes in use instead.
  agent.request(FOLDERS, {}, function(status, records)
    if status == Macro.LIST_END then
      local used = tonumber(records)
      local in_use = used and used > 0 and (", " .. text.bytes(used) .. " in use") or ""
      return print(string.format("%d folders%s ('files FOLDER' lists one)", count, in_use))
    end
    for _, r in ipairs(type(records) == "table" and records or {}) do
      count = count + 1
      print(text.clean(r.FilePath) .. "/")
    end
  end)
end

-- Asks each file list in turn and prints the files under folder, then a count.
local function list_folder(folder)
  local prefix = (folder:gsub("/+$", "")) .. "/"
  local found = 0
  local function ask(n)
    if n > #FILE_LISTS then
      if found == 0 then return print("no files under " .. prefix .. " (the phone's folders: 'files')") end
      return print(string.format("%d files under %s", found, prefix))
    end
    local kind, field = FILE_LISTS[n][1], FILE_LISTS[n][2]
    agent.list(kind, {}, function(r)
      local path = tostring(r[field] or "")
      if path:sub(1, #prefix) == prefix then
        found = found + 1
        print(string.format("%s  %s", text.bytes(r.Size), text.clean(path)))
      end
    end, function() ask(n + 1) end)
  end
  ask(1)
end

commands.add("files", "files [FOLDER]            list the phone's folders, or the files in one", function(rest)
  local w = commands.words(rest)
  if #w > 1 then return print("usage: files [folder]") end
  if w[1] then return list_folder(w[1]) end
  list_folders()
end)
