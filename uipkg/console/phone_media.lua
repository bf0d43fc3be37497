-- music, photos, videos and files: what is stored on the phone, listed through the agent.
-- 'files' alone lists the phone's folders and the storage in use; 'files FOLDER' lists the
-- documents, songs, photos and videos under that folder.
local agent = require("console.agent")
local commands = require("console.commands")
local completion = require("console.completion")
local lists = require("console.listing")
local text = require("console.text")

local function minutes(seconds)
  seconds = tonumber(seconds) or 0
  return string.format("%d:%02d", math.floor(seconds / 60), seconds % 60)
end

local function listing(command, kind, rest, line, noun)
  local shown = lists.how_many(rest, command .. " [all]")
  if shown then lists.print(kind, {}, shown, line, noun) end
end

commands.add("music", "music [all]               list the songs on the phone", function(rest)
  listing("music", Macro.MSG_MUSIC_LIST, rest, function(r)
    return string.format("%s  %s - %s  %s  %s  %s", r.ID, r.Singer, r.Zhuanji, minutes(r.Timer), text.bytes(r.Size),
      r.Path)
  end, "songs")
end)

commands.add("photos", "photos [all]              list the photos on the phone", function(rest)
  listing("photos", Macro.MSG_PICTURE_LIST, rest, function(r)
    return string.format("%s  %s  %s", r.ID, text.bytes(r.Size), r.FilePath)
  end, "photos")
end)

commands.add("videos", "videos [all]              list the videos on the phone", function(rest)
  listing("videos", Macro.MSG_VIDEO_LIST, rest, function(r)
    return string.format("%s  %s  %s", r.ID, text.bytes(r.Size), r.FilePath)
  end, "videos")
end)

local FOLDERS = Macro.MSG_FOLDER_LIST
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
      completion.add_phone_path(tostring(r.FilePath or "") .. "/")
      print(text.clean(r.FilePath) .. "/")
    end
  end)
end

-- Prints the files the phone's lists name under folder, then a count.
local function list_folder(folder)
  local prefix = (folder:gsub("/+$", "")) .. "/"
  agent.files(function(files)
    if not files then return end
    local found = 0
    for _, f in ipairs(files) do
      if f.path:sub(1, #prefix) == prefix then
        found = found + 1
        print(string.format("%s  %s", text.bytes(f.size), text.clean(f.path)))
      end
    end
    if found == 0 then return commands.fail("no files under " .. prefix .. " (the phone's folders: 'files')") end
    print(string.format("%d files under %s", found, prefix))
  end)
end

commands.add("files", "files [FOLDER]            list the phone's folders, or the files in one", function(rest)
  local w = commands.words(rest)
  if #w > 1 then return commands.fail("usage: files [folder]") end
  if w[1] then return list_folder(w[1]) end
  list_folders()
end)
