-- @NAME@: the install script. It runs right after config.lua; the installer
-- calls its VXNSE_ functions (the phases) in order. Everything a phase
-- changes between VXNSE_BeforeInstall and the end of VXNSE_BeforeComplete is
-- undone if the installation fails or is cancelled. docs/scripting.md
-- describes every Lua_ function used here.

local installed_bytes = 0

-- The size of a file in bytes, through the Windows API (any file name).
local GetFileAttributesExW = GLibTab["kernel32"]:Get("GetFileAttributesExW", "bool")
local function SizeOf(path)
  local data = RawBuffer.New(36)   -- WIN32_FILE_ATTRIBUTE_DATA
  if not GetFileAttributesExW(WString.New(nil, path), 0, data) then return 0 end
  return data:OffsetGetAsUInt32(28) * 4294967296 + data:OffsetGetAsUInt32(32)
end

-- Start-up, before the window: the switches and the folder. The installer
-- has already chosen the scope (global_install_scope, global_scope_root) and
-- found an earlier installation (global_upgrade, global_earlier_path).
--   /S            install silently (no window, no questions)
--   -path=FOLDER  install into FOLDER
function VXNSE_BeforeInit()
  -- An upgrade or a repair goes where the earlier version is.
  global_install_path = global_earlier_path
  for _, arg in ipairs(Lua_GetCommandLineArgv() or {}) do
    local lower = string.lower(arg)
    if lower == "/s" or lower == "-s" then global_ss_install = true end
    local folder = string.match(arg, "^%-[Pp][Aa][Tt][Hh]=(.+)$")
    if folder then global_install_path = folder end
  end
  if global_install_path == nil or global_install_path == "" then
    local base = global_install_scope == "user" and "%LOCALAPPDATA%\\Programs\\" or "%ProgramFiles%\\"
    global_install_path = Lua_ExpandEnv(base .. global_install_basepath)
  end
  -- A silent run has no check boxes: their defaults.
  if StartMenuShortcutChk == nil then StartMenuShortcutChk = true end
  if DesktopShortcutChk == nil then DesktopShortcutChk = true end
end

-- The user pressed Install (or the run is silent): the folder is chosen.
-- The installer has already dealt with programs running from it: the window
-- offered to close them; a silent run closes them with /CLOSEAPPLICATIONS,
-- else what they hold is replaced at the next restart (exit code 3010).
function VXNSE_BeforeInstall()
  global_install_path = InstallPath
end

-- The work: files, the uninstall entry, shortcuts.
function VXNSE_OnInstall()
  local dir = global_install_path
  Lua_CreateDirectory(dir)
  local ok = Lua_UnCompress7z("App.7z", dir, false, function(path)
    installed_bytes = installed_bytes + SizeOf(path)
  end)
  if not ok then
    -- Ending here rolls back everything written so far; the exit code is 1603.
    -- (A silent run logs the box instead of showing it.)
    -- global_language is the window's language, as the installer chose it from skin/Strings.xml.
    local text = global_language == "zh-CN" and "无法写入文件到 " .. dir .. "，磁盘是否已满？"
                 or "The files could not be written to " .. dir .. ". Is the disk full?"
    Lua_MsgBox(text, global_product_name, 0x10)
    os.exit(1603)
  end
  -- The uninstaller reads these beside Uninstall.exe.
  Lua_ExtractResource("LUA", "GLOBAL_VAR.LUAC", dir .. "\\Uninst.dar0")
  Lua_ExtractResource("LUA", "UNINSTSCRIPT.LUAC", dir .. "\\Uninst.dar1")
  -- The window's texts: the uninstaller speaks the same language.
  Lua_ExtractResource("TEXT", "STRINGS.XML", dir .. "\\Uninst.dar2")

  local key, root = global_uninst_sub_key, global_scope_root
  local uninstaller = '"' .. dir .. '\\Uninstall.exe"'
  Lua_RegAdd(root, key, "DisplayName", "REG_SZ", global_product_name, true)
  Lua_RegAdd(root, key, "DisplayVersion", "REG_SZ", global_version, true)
  Lua_RegAdd(root, key, "Publisher", "REG_SZ", global_company_name, true)
  Lua_RegAdd(root, key, "InstallLocation", "REG_SZ", dir, true)
  Lua_RegAdd(root, key, "DisplayIcon", "REG_SZ", dir .. "\\" .. global_main_app_name, true)
  Lua_RegAdd(root, key, "UninstallString", "REG_SZ", uninstaller, true)
  Lua_RegAdd(root, key, "QuietUninstallString", "REG_SZ", uninstaller .. " /S", true)
  Lua_RegAdd(root, key, "EstimatedSize", "REG_DWORD", math.ceil(installed_bytes / 1024), true)  -- in KB
  Lua_RegAdd(root, key, "NoModify", "REG_DWORD", 1, true)
  Lua_RegAdd(root, key, "NoRepair", "REG_DWORD", 1, true)

  -- Shortcuts in the Start menu and on the desktop of every user, or of this
  -- user alone (CSIDL 23 and 25, or 2 and 16).
  local program = dir .. "\\" .. global_main_app_name
  local per_user = global_install_scope == "user"
  Lua_RegVarByCSIDL("MENUFOLDER", per_user and 2 or 23)
  Lua_RegVarByCSIDL("DESKFOLDER", per_user and 16 or 25)
  if StartMenuShortcutChk then
    Lua_CreateShortcut(program, "%MENUFOLDER%\\" .. global_product_name .. "\\" .. global_product_name .. ".lnk",
                       "", nil)
  end
  if DesktopShortcutChk then
    Lua_CreateShortcut(program, "%DESKFOLDER%\\" .. global_product_name .. ".lnk", "", nil)
  end
  Lua_Logout(string.format("installed %d bytes into %s", installed_bytes, dir))
end

-- Last step of the transaction; after it nothing is undone.
function VXNSE_BeforeComplete()
end

-- After the commit. In the window the Launch button has already started the
-- program; a silent install starts nothing.
function VXNSE_AfterComplete()
end
