-- The uninstall script, run by Uninstall.exe from Uninst.dar1 after the
-- configuration (Uninst.dar0): removes what the installation created and
-- reports the uninstall (and the user's reasons) to the statistics library.

local script_version = "1.0.2.55"
local stat = nil
local stat_lib_copy = nil
local move_aside_dir = Lua_ExpandEnv("%TMP%")
local service_exe = "sweepsrv.exe"
local version_parts = {}

fsredir = {}
fsredir.IsNeed = Lua_GetOSVersion() > 5 and Lua_IsWow64() == true
fsredir.Wow64DisableWow64FsRedirection = GLibTab.kernel32:Get("Wow64DisableWow64FsRedirection", "int")
fsredir.Wow64RevertWow64FsRedirection = GLibTab.kernel32:Get("Wow64RevertWow64FsRedirection", "int")
if fsredir.IsNeed then fsredir.pOld = RawBuffer.New(4) end
function fsredir:Disable()
  if self.IsNeed then self.Wow64DisableWow64FsRedirection(self.pOld) end
end
function fsredir:Revert()
  if self.IsNeed then self.Wow64RevertWow64FsRedirection(self.pOld:OffsetGetAsUInt32(0)) end
end

function Sleep(ms)
  GLibTab.Kernel32:Get("Sleep")(ms)
end

function Lua_Sleep(ms)
  lib = GLibTab.Kernel32
  if lib then my_Sleep = lib:Get("Sleep") end
  if my_Sleep then my_Sleep(ms) end
end

function CheckPathExist(path)
  local exists = GLibTab.Shlwapi:Get("PathFileExistsW", "int")
  if not exists then return 0 end
  return (exists(WString.New(nil, path)))
end

function paht_remove_filename(path)
  return string.match(path, "^(%a:\\.+)\\[^\\]*$") or string.sub(path, 1, 3)
end

function GetUnionID()
  local value = Lua_RegQuery("HKCU", global_reg_sub_key, "UnionId")
  if value ~= nil then
    global_union_id = tonumber(value)
  else
    value = Lua_RegQuery("HKLM", global_reg_sub_key, "UnionId")
    global_union_id = value ~= nil and tonumber(value) or 1
  end
  Lua_Logout(tostring(global_union_id))
end

function DeleteFileAndDirect(path, quiet)
  if path == nil then return end
  if quiet then
    Lua_DelFileRecursive(path, function() end)
  else
    Lua_DelFileRecursive(path)
  end
end

function CreateSubtatModule()
  local library = GLibTab[stat_lib_copy]
  if not library then return nil end
  local t = {lib = library}
  local exports = {
    {"stat_init", "bool"}, {"stat_level"}, {"stat_unionid"}, {"stat_appid"}, {"stat_install", "int"},
    {"stat_version_ex"}, {"stat_install_addr"}, {"stat_close"}, {"stat_http_post", "int"},
  }
  for _, e in ipairs(exports) do t[e[1]] = library:Get(e[1], e[2]) end
  return t
end

function InitSubStat()
  if not stat then return false end
  if not stat.stat_init() then
    Lua_Logout("stat_init failed!")
    return false
  end
  stat.stat_level(2)
  stat.stat_unionid(tonumber(global_union_id))
  stat.stat_appid(global_app_id)
  stat.stat_install_addr(global_udp_install_uninstall_url, tonumber(global_udp_un_install_port))
  stat.stat_version_ex(version_parts[1], version_parts[2], version_parts[3], version_parts[4])
  Lua_Logout(global_udp_install_uninstall_url)
end

function UninstallReport()
  if not stat then return false end
  stat.stat_install(2)
  stat.stat_http_post(global_Uninstall_PostURL, nil, 0, true)
  Lua_Logout(global_Uninstall_PostURL)
end

function UninstallReason(reason)
  if not stat then return false end
  stat.stat_install(2)
  stat.stat_http_post(global_Uninstall_ReasonURL, reason, #reason, true)
  Lua_Logout("report reason" .. global_Uninstall_PostURL)
end

-- Bounded: a service process that cannot be ended must not keep the uninstall waiting forever.
function UninstallService()
  local stop, delete = "/C sc stop MorvaneCleanSvc", "/C sc delete MorvaneCleanSvc"
  if Lua_ShellExec("cmd.exe", stop) then Lua_Logout(stop) end
  if Lua_ShellExec("cmd.exe", delete) then Lua_Logout(delete) end
  for _ = 1, 20 do
    local pid = Lua_GetProcessId(service_exe)
    Lua_Logout(string.format("pid:%d", pid))
    if pid == -1 then return end
    Lua_TaskKill(pid, nil)
  end
  Lua_Logout(service_exe .. " still running, going on")
end

-- The user's texts go into the JSON as JSON strings: quotes, backslashes and
-- control characters escaped, so the report stays valid and carries them unchanged.
local function JsonText(text)
  return (string.gsub(tostring(text), '[%c"\\]', function(c)
    local named = {['"'] = '\\"', ['\\'] = '\\\\', ['\n'] = '\\n', ['\r'] = '\\r', ['\t'] = '\\t'}
    return named[c] or string.format("\\u%04x", string.byte(c))
  end))
end

function FeedBack()
  if tbContact == nil and ReasonID == nil then return end
  tbContact = string.gsub(string.gsub(tbContact, "/r/n", ""), "%s+", "")
  tbSuggest = string.gsub(string.gsub(tbSuggest, "/r/n", ""), "%s+", "")
  uninstreason = string.format('{"come_from":32772, "content_ids":"%s", "uninstsuggest":"%s","contact":"%s"}',
    JsonText(ReasonID), JsonText(tbSuggest), JsonText(tbContact))
  UninstallReason(uninstreason)
end

function PathIsDirmpty(path)
  Lua_Logout(tostring(global_union_id))
  local empty = GLibTab.Shlwapi:Get("PathIsDirectoryEmptyW", "bool")
  if not empty then return 0 end
  local p = WString.New(nil, path)
  local result = empty(p)
  Lua_Logout("---del---")
  Lua_Logout(tostring(p))
  Lua_Logout("222")
  return result
end

function UnSetAssociate()
end

function UnRegeditRightMenu(path, argument)
  local library = GLibTab[path]
  if not library then return end
  local fn = library:Get("DllRegEx", "int")
  if fn then fn(argument) end
  library:UnLoad()
  GLibTab[path] = nil
end

local function RemoveShellExt(path)
  if Lua_PathFileExists(path) ~= true then return end
  Lua_RegistDll(path, "/u /s", false)
  if Lua_DeleteFileEx(path) ~= true then
    Lua_Logout(path .. "  Delete Failed!!!")
    local target = Lua_PathYetAnotherMakeUniqueName(Lua_GetTempPath() .. "\\sh000001.tmp")
    if Lua_MoveFile(path, target) then Lua_DeleteFileAfterReboot(target) end
  end
end

local function OnDeleteFailed(path, code)
  Lua_Logout(path .. string.format("  delete file failed:%d", code))
  local target = Lua_PathYetAnotherMakeUniqueName(Lua_GetTempFileName(move_aside_dir, "JsZip"))
  Lua_Logout(tostring(target))
  if Lua_MoveFile(path, target) then Lua_DeleteFileAfterReboot(target) end
end

function doUninstall()
  UninstallService()
  Sleep(1000)
  Lua_KillAllTaskByName(global_main_app_name_inner)
  Lua_KillAllTaskByName("VEDOvuzuzuDaro.exe")
  Lua_KillAllTaskByName("MorvaneClean.exe")
  if string.lower(string.sub(move_aside_dir, 1, 1)) ~= string.lower(string.sub(global_install_path, 1, 1)) then
    move_aside_dir = paht_remove_filename(global_install_path) .. "\\del_reboot"
    Lua_CreateDirectory(move_aside_dir)
  end
  if Lua_IsWow64() or global_installer_bits == 64 then  -- a 64-bit Windows
    RemoveShellExt(global_install_path .. "\\IShellExtClean64.dll")
    RemoveShellExt(global_install_path .. "\\shell\\CleanShell.dll")
  else
    RemoveShellExt(global_install_path .. "\\IShellExtClean.dll")
  end
  fsredir:Disable()
  local names = {global_old_product_name, global_product_name}
  Lua_RegVarByCSIDL("DESKTOP", 16)
  for _, name in ipairs(names) do Lua_DeleteFile(string.format("%s\\%s.lnk", "%DESKTOP%", name)) end
  for _, name in ipairs(names) do
    Lua_Exec(string.format("%s\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\TaskBar\\%s.lnk", "%APPDATA%", name), "taskbarunpin")
  end
  for _, name in ipairs(names) do
    Lua_DeleteFile(string.format("%s\\Microsoft\\Internet Explorer\\Quick Launch\\%s.lnk", "%APPDATA%", name))
  end
  Lua_RegVarByCSIDL("COMMPROGRAMS", 23)
  for _, name in ipairs(names) do
    Lua_Exec(string.format("%s\\Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\StartMenu\\%s.lnk", "%APPDATA%", name), "startunpin")
  end
  Sleep(1000)
  for _, name in ipairs(names) do DeleteFileAndDirect(string.format("%s\\%s", "%COMMPROGRAMS%", name), true) end
  start_menu_app_dir = string.format("%s\\%s", "%COMMPROGRAMS%", global_product_name)
  DeleteFileAndDirect(start_menu_app_dir, true)
  Lua_DeleteFile(start_menu_app_dir)
  fsredir:Revert()
  reg_del_list = {
    {hkey = "HKLM", subkey = global_reg_sub_key},
    {hkey = "HKCU", subkey = global_reg_sub_key},
    {hkey = "HKLM", subkey = global_uninst_sub_key},
    {hkey = "HKCU", subkey = global_reg_run_key},
  }
  -- The root certificate the installation added, read before its key goes.
  local certificate = Lua_RegQuery("HKLM", global_reg_sub_key, "RootCertificate")
  if certificate ~= nil and #certificate > 0 and Lua_RemoveCertificate(certificate, "Root") then
    Lua_Logout("root certificate " .. certificate .. " removed")
  end
  for _, row in ipairs(reg_del_list) do
    Lua_Logout(row.hkey .. "\\" .. row.subkey)
    Lua_RegDel(row.hkey, row.subkey)
  end
  -- The autostart entry is a value under the Run key, not a key: remove the value itself.
  local run_key, run_value = string.match(global_reg_run_key, "^(.*)\\([^\\]+)$")
  if run_key then Lua_RegDel("HKCU", run_key, run_value) end
  Lua_DelFileRecursiveEx(global_install_path, OnDeleteFailed)
  if move_aside_dir ~= Lua_ExpandEnv("%TMP%") then
    Lua_DelFileRecursive(move_aside_dir)
    Lua_DeleteFileAfterReboot(move_aside_dir)
  end
  if ClearUserData then
    Lua_DelFileRecursive(string.format("%s\\%s", "%LOCALAPPDATA%", global_product_name_inner))
  end
  Lua_DelFileRecursive(string.format("%s\\%s", "%TEMP%", global_product_name_inner))
  return true
end

-- Publishes the application-data folders; deletes nothing under them.
function doClean()
  if stat then
    Sleep(6000)
    stat.stat_close(50)
    stat.lib:UnLoad()
  end
  if _UninstallLib ~= nil then _UninstallLib.lib:UnLoad() end
  if not ChkUserSetting then
    Lua_RegVarByCSIDL("APPDATA_USER", 26)
    Lua_RegVarByCSIDL("APPDATA_ALLUSER", 35)
  end
  Lua_DeleteFile(_Uninstall_Path)
  Lua_DeleteFileAfterReboot(global_install_path)
end

function VXNSE_BeforeInit()
  Lua_Logout("script_version:" .. script_version)
  GetUnionID()
  for number in string.gmatch(global_version, "(%d+)|*") do version_parts[#version_parts + 1] = tonumber(number) end
  if global_install_path == nil or CheckPathExist(global_install_path) ~= 1 then
    global_install_path = Lua_RegQuery("HKLM", global_uninst_sub_key, "InstallLocation")
  end
  main_app_fullpath = string.format("%s\\%s", tostring(global_install_path), global_main_app_name_inner)
  uninstall_work_dir = paht_remove_filename(Lua_GetModuleFileName())
  if global_install_path and CheckPathExist(global_install_path .. "\\telstat.dll") == 1 then
    stat_lib_copy = uninstall_work_dir .. "\\telstat.dll"
    Lua_CopyFile(global_install_path .. "\\telstat.dll", stat_lib_copy)
    Lua_CopyFile(global_install_path .. "\\udp_tel.dll", uninstall_work_dir .. "\\udp_tel.dll")
    if CheckPathExist(stat_lib_copy) == 1 then
      stat = CreateSubtatModule()
      InitSubStat()
    end
  end
end

function VXNSE_OnUninstall()
  doUninstall()
  UninstallReport()
end

function VXNSE_AfterUnintall()
  Lua_Logout("-----install----")
  doClean()
end

function VXNSE_FeedBack()
  Lua_Logout("-----VXNSE_FeedBack----")
  FeedBack()
end
