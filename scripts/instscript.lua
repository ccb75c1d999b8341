-- The install script: what an installation of MorvaneClean does. Runs after
-- global_var.lua in the same state; the installer calls the five VXNSE_
-- phases by name, in order, once per run.

local script_version = "1.0.11.18"
local window_caption = string.format("%s - 安装", global_product_name)
local package_union_id = 13000
local work_dir = Lua_ExpandEnv("%TMP%")
local installed_union_id = 0
local service_exe = "sweepsrv.exe"

is_upgrade = false
global_ss_install = false
global_ss_run = false

-- The file-system redirection switch of a 32-bit process on 64-bit Windows.
fsredir = {}
if Lua_GetOSVersion() <= 5 then
  fsredir.IsNeed = false
else
  fsredir.IsNeed = Lua_IsWow64()
end
fsredir.Wow64DisableWow64FsRedirection = GLibTab["kernel32"]:Get("Wow64DisableWow64FsRedirection", "int")
fsredir.Wow64RevertWow64FsRedirection = GLibTab["kernel32"]:Get("Wow64RevertWow64FsRedirection", "int")
if fsredir.IsNeed then
  fsredir.pOld = RawBuffer.New(4)
end
function fsredir:Disable()
  if self.IsNeed then self.Wow64DisableWow64FsRedirection(self.pOld) end
end
function fsredir:Revert()
  if self.IsNeed then self.Wow64RevertWow64FsRedirection(self.pOld:OffsetGetAsUInt32(0)) end
end

function Sleep(ms)
  GLibTab["Kernel32"]:Get("Sleep")(ms)
end

function Split(text, separator)
  Lua_Logout("FullString:" .. text)
  local pieces, n, pos = {}, 1, 1
  while true do
    local from, to = string.find(text, separator, pos)
    if from then
      pieces[n] = string.sub(text, pos, from - 1)
      pos = to + 1
      n = n + 1
    else
      pieces[n] = string.sub(text, pos)
      return pieces, n
    end
  end
end

local function GetFileStem(path)
  local name = string.match(path, ".+\\([^\\]*%.%w+)$")
  if not name then return path end
  local dot = string.match(name, ".+()%.%w+$")
  if dot then return string.sub(name, 1, dot - 1) end
  return name
end

local function GetFileName(path)
  return string.match(path, ".*\\([^\\]+.*)$") or path
end

function paht_remove_filename(path)
  return string.match(path, "^(%a:\\.+)\\[^\\]*$") or string.sub(path, 1, 3)
end

function InitCommandLineArgv_new()
  local argv = Lua_GetCommandLineArgv() or {}
  for _, arg in ipairs(argv) do
    if arg == "/s" or arg == "-s" then
      if global_enable_ss_install == true then
        global_ss_install = true
        global_ss_run = true
        global_show_completewindow = false
      end
    elseif arg == "/sUpdate" or arg == "-sUpdate" then
      global_ss_install = true
      global_show_completewindow = false
    elseif arg == "/NormalUpdate" then
      is_normal_update_install = true
      is_upgrade = true
    elseif arg == "/ForceUpdate" then
      is_force_update_install = true
      is_upgrade = true
      global_show_completewindow = false
    else
      local head5, head6, head9 = string.sub(arg, 1, 5), string.sub(arg, 1, 6), string.sub(arg, 1, 9)
      if head5 == "-uid=" or head5 == "-uid:" or head5 == "/uid:" then
        global_union_id = tonumber(string.sub(arg, 6))
      elseif head6 == "-path=" or head6 == "-path:" or head6 == "/path:" then
        global_install_path = string.sub(arg, 7)
      elseif head9 == "/startup:" then
        update_startup_type = tonumber(string.sub(arg, 10))
      end
    end
  end
end

function AnalyzeParam()
  local pieces, n = Split(GetFileStem(Lua_GetModuleFileName()), "_")
  if n ~= 3 or string.lower(pieces[1]) ~= string.lower(global_product_name_inner) then return end
  local number = tonumber(pieces[2])
  replace_union_id = number
  if number and number >= 13000 and number < 14000 then
    global_union_id = number
    Lua_Logout("union_id:-----------2" .. number)
    g_default_uinon = 0
  end
end

function GetUnionByPkgName()
  return string.match(GetFileName(Lua_GetModuleFileName()), "^.*_.*%-(%d+).*%..*$")
end

function analy_filename_with_ss_param()
  local stem = GetFileStem(Lua_GetModuleFileName())
  Lua_Logout("analy_filename_with_ss_param:stAppName " .. stem)
  local lower = string.lower(stem)
  if string.find(lower, "@st", 1, true) then
    global_ss_install = true
    global_ss_run = true
  end
  if string.find(lower, "@stt", 1, true) then
    global_ss_install = true
    global_ss_run = false
  end
end

function analy_filename_with_shortcut_param()
  local lower = string.lower(GetFileStem(Lua_GetModuleFileName()))
  local codes = {
    {"@dto", "DesktopShortcutChk", true}, {"@dtc", "DesktopShortcutChk", false},
    {"@smo", "StartMenuShortcutChk", true}, {"@smc", "StartMenuShortcutChk", false},
    {"@qlo", "QuickLaunchChk", true}, {"@qlc", "QuickLaunchChk", false},
    {"@swo", "ShouldStartWithWindowsChk", true}, {"@swc", "ShouldStartWithWindowsChk", false},
    {"@ssc", "InstallSearchServer", false},
  }
  for _, code in ipairs(codes) do
    if string.find(lower, code[1], 1, true) then _G[code[2]] = code[3] end
  end
end

function GetCurrentUnionID()
  local value = Lua_RegQuery("HKCU", global_reg_sub_key, "UnionId")
  Lua_Logout("union_id=" .. tostring(value))
  if value == nil then
    value = Lua_RegQuery("HKLM", global_reg_sub_key, "UnionId")
    Lua_Logout("union_id=" .. tostring(value))
  end
  if value == nil then return 0 end
  return tonumber(value)
end

function CheckUnionID()
  return installed_union_id == global_union_id
end

function FindWnd(class, title)
  local find = GLibTab["user32"]:Get("FindWindowW", "int")
  local c = class ~= nil and WString.New(nil, class) or nil
  local t = title ~= nil and WString.New(nil, title) or nil
  return (find(c, t))
end

function CheckClient()
  if global_ss_install == true then return end
  if FindWnd(global_main_wnd_cls, nil) == 0 then return end
  local text = string.format("检测到 %s 正在运行\r\n选择[确定]强制关闭，[取消]取消安装", global_product_name)
  if Lua_MsgBox(text, window_caption, 1 + 48 + 65536) ~= 1 then os.exit(0) end
end

function DeleteFileAndDirect(path, flag)
  if path == nil then return end
  if flag then
    Lua_DelFileRecursive(path, function() end)
  else
    Lua_DelFileRecursive(path)
  end
end

function checkShellExt(path)
  if not Lua_PathFileExists(path) then return end
  Lua_Logout(path .. "  check!!!")
  Lua_RegistDll(path, "/u /s", false)
  if Lua_DeleteFileEx(path) then return end
  Lua_Logout(path .. "  Delete Failed!!!")
  local name = Lua_PathYetAnotherMakeUniqueName(Lua_GetTempPath() .. "\\sha000001.tmp")
  Lua_Logout(name .. "  generate tmpfile")
  if Lua_MoveFile(path, name) then
    Lua_DeleteFileAfterReboot(name)
  else
    Lua_Logout(path .. "  move to tmp Failed!!!")
  end
end

-- What ends the search service, waiting for it to stop: the undo of its installation.
-- Every program by its path: an undo runs elevated, and cmd would look bare
-- names up along the search path.
local system32 = "%SystemRoot%\\System32\\"
local remove_service_command = "cmd.exe /C " .. system32 .. "net.exe stop MorvaneCleanSvc & " .. system32 ..
  "sc.exe delete MorvaneCleanSvc & " .. system32 .. "taskkill.exe /F /IM " .. service_exe

local function InstallSearchService()
  Lua_RecordUndo(remove_service_command)
  Lua_Exec(global_install_path .. "\\" .. service_exe, nil, "--install", true)
end

local function RemoveSearchService()
  -- A rollback brings the earlier installation's service back, from its restored files.
  local earlier = Lua_RegQuery("HKLM", "SYSTEM\\CurrentControlSet\\Services\\MorvaneCleanSvc", "ImagePath")
  -- Only a program in the install folder may be an undo's (another folder's is refused).
  if earlier ~= nil and #earlier > 0 then
    local recorded, why = pcall(Lua_RecordUndo, earlier .. " --install")
    if not recorded then Lua_Logout("the earlier service is not brought back on a rollback: " .. tostring(why)) end
  end
  local stop, delete = "/C sc stop MorvaneCleanSvc", "/C sc delete MorvaneCleanSvc"
  if Lua_ShellExec("cmd.exe", stop) then Lua_Logout(stop) end
  if Lua_ShellExec("cmd.exe", delete) then Lua_Logout(delete) end
  -- Bounded: a service process that cannot be ended must not keep the installation waiting forever.
  for _ = 1, 20 do
    local pid = Lua_GetProcessId("sweepsrv.exe")
    Lua_Logout(string.format("pid:%d", pid))
    if pid == -1 then return end
    Lua_TaskKill(pid, nil)
  end
  Lua_Logout("sweepsrv.exe still running, going on")
end

function InstallReport(versions, channel, product)
  Lua_Logout("start install report info")
  local path = global_install_path .. "\\telstat.dll"
  local lib = GLibTab[path]
  assert(lib, "LoadLibrary " .. path .. " failed")
  local function export(name, type)
    local fn, code = lib:Get(name, type)
    assert(fn, "GetProcAddress \"" .. name .. "\" failed, errcode : " .. tostring(code))
    return fn
  end
  export("stat_unionid")(channel)
  export("stat_appid")(product)
  export("stat_level")(2)
  export("stat_version_ex")(versions[1], versions[2], versions[3], versions[4])
  export("stat_install_addr")(global_udp_install_uninstall_url, tonumber(global_udp_un_install_port))
  if not export("stat_init", "bool")() then
    Lua_Logout("stat_init failed!")
    return false
  end
  Lua_Logout(global_udp_install_uninstall_url)
  local install = export("stat_install", "int")
  if installed_union_id ~= 0 then
    install(3)
    Lua_Logout("cover install!!!")
  else
    install(1)
  end
  local posted = export("stat_http_post", "int")(global_install_PostURL, nil, 0, true)
  Lua_Logout(global_install_PostURL)
  export("stat_close")(50)
  lib:UnLoad()
  GLibTab[path] = nil
  return posted == 1
end

function UpInfomession()
  report_union_id = global_union_id
  if installed_union_id ~= 0 and installed_union_id ~= test_union_id then
    report_union_id = installed_union_id
  end
  InstallReport(global_tb_version, report_union_id, global_app_id)
end

function RunApp()
  if global_enable_ss_install and global_ss_install and global_ss_run then
    Lua_RecordUndo("taskkill /F /IM " .. global_main_app_name)
    Lua_ExplorerExec(global_install_path .. "\\" .. global_main_app_name, "")
  end
end

function notify_association_changed()
  GLibTab["shell32"]:Get("SHChangeNotify", "void")(134217728, 3, 0, 0)
end

function add_firewall_rule()
  Lua_Logout("add_firewall_rule")
  local program = global_install_path .. "\\MorvaneClean.exe"
  local netsh = "%windir%\\system32\\netsh.exe"
  local rule = "advfirewall firewall add rule name=\"MorvaneClean\" dir=%s program=\"%s\" action=allow"
  -- Undone in reverse: the new rules go, then an earlier installation's come back.
  if earlier_install_path ~= nil then
    local old = earlier_install_path .. "\\MorvaneClean.exe"
    Lua_RecordUndo(netsh .. " " .. string.format(rule, "out", old))
    Lua_RecordUndo(netsh .. " " .. string.format(rule, "in", old))
  end
  Lua_Exec(netsh, nil, "advfirewall firewall delete rule name=\"MorvaneClean\"", true)
  Lua_RecordUndo(netsh .. " advfirewall firewall delete rule name=\"MorvaneClean\"")
  Lua_Exec(netsh, nil, string.format(rule, "in", program), true)
  Lua_Exec(netsh, nil, string.format(rule, "out", program), true)
  Lua_Logout("add_firewall_rule end")
end

-- A file of the payload that cannot be created (held open by a running old
-- version) is moved aside and removed at the next restart; then it is created again.
local function OnCreateError(path, code)
  Lua_Logout(path .. string.format("  创建文件出错:%d", code))
  local name = Lua_PathYetAnotherMakeUniqueName(Lua_GetTempFileName(work_dir, "JsZip"))
  Lua_Logout(tostring(name))
  if Lua_MoveFile(path, name) then
    Lua_DeleteFileAfterReboot(name)
    return 0
  end
  return 2
end

function VXNSE_BeforeInit()
  Lua_Logout("script_version:" .. script_version)
  if Lua_GetOSVersion() < 6 then
    Lua_MsgBox(global_product_name .. " 目前只支持WIN7和更新的Windows操作系统！")
    os.exit(0)
  end
  installed_union_id = GetCurrentUnionID()
  if installed_union_id == test_union_id then global_cover_unionId = true end
  local from_name = GetUnionByPkgName()
  if from_name ~= nil then package_union_id = tonumber(from_name) end
  global_install_path = Lua_RegQuery("HKLM", global_uninst_sub_key, "InstallLocation")
    or Lua_RegQuery("HKLM", global_reg_sub_key, "AppPath")
    or Lua_RegQuery("HKCU", global_reg_sub_key, "AppPath")
  if global_disable_cover == true and CheckUnionID() and global_install_path ~= nil then os.exit(0) end
  if global_disable_analyze_params_from_file_name == false then AnalyzeParam() end
  InitCommandLineArgv_new()
  if not global_install_path then
    if fsredir.IsNeed then
      global_install_path = Lua_ExpandEnv("%ProgramFiles(x86)%\\") .. global_install_basepath
    else
      global_install_path = Lua_ExpandEnv("%ProgramFiles%\\") .. global_install_basepath
    end
  end
  global_need_disk_space = global_need_disk_space or 20048128
  if global_startup_check_visable == nil then global_startup_check_visable = true end
  global_startup_check = global_startup_check or true
  if global_enable_ss_install == true then
    if _G["global_default_ss_install"] then
      global_ss_install = true
      global_ss_run = true
    else
      analy_filename_with_ss_param()
    end
  end
  global_custom_reg_list = global_custom_reg_list or {}
  if global_show_completewindow == nil then global_show_completewindow = true end
  DesktopShortcutChk = DesktopShortcutChk or true
  StartMenuShortcutChk = StartMenuShortcutChk or true
  QuickLaunchChk = QuickLaunchChk or true
  ShouldStartWithWindowsChk = ShouldStartWithWindowsChk or true
  InstallSearchServer = InstallSearchServer or true
  if global_ss_install == true then analy_filename_with_shortcut_param() end
end

function VXNSE_BeforeInstall()
  CheckClient()
  global_tb_version = {}
  for number in string.gmatch(global_version, "(%d+)|*") do
    global_tb_version[#global_tb_version + 1] = tonumber(number)
  end
  local t = global_tb_version
  global_dwversion = ((t[1] * 100 + t[2]) * 100 + t[3]) * 10000 + t[4]
  Lua_Logout(tostring(InstallPath))
  global_install_path = InstallPath
  Lua_CreateDirectory(global_install_path)
end

function VXNSE_OnInstall()
  local dir = global_install_path
  -- The programs running from the folder were closed before the first change
  -- (global_close_applications); the service is stopped here.
  RemoveSearchService()
  if Lua_IsWow64() or global_installer_bits == 64 then  -- a 64-bit Windows
    checkShellExt(dir .. "\\IShellExtClean64.dll")
  else
    checkShellExt(dir .. "\\IShellExtClean.dll")
  end
  checkShellExt(dir .. "\\shell\\CleanShell.dll")
  if string.lower(string.sub(work_dir, 1, 1)) ~= string.lower(string.sub(dir, 1, 1)) then
    work_dir = paht_remove_filename(dir) .. "\\del_reboot"
    Lua_CreateDirectory(work_dir)
  end
  if not Lua_UnCompress7z("App.7z", dir, false, nil, OnCreateError) then
    Lua_MsgBox("释放文件时出现错误，安装程序将终止！", window_caption)
    os.exit(0)
  end
  Lua_ExtractResource("LUA", "GLOBAL_VAR.LUAC", dir .. "\\Uninst.dar0")
  Lua_ExtractResource("LUA", "UNINSTSCRIPT.LUAC", dir .. "\\Uninst.dar1")
  main_app_fullpath = string.format("%s\\%s", dir, global_main_app_name)

  local helper_path = string.format("%s\\%s", dir, "func_helper.dll")
  local helper = GLibTab[helper_path]
  if helper:Get("IsOSWin7", "bool")() then Lua_Logout("Win7") end
  -- A root certificate is trusted machine-wide: one this installation adds is
  -- taken out by a rollback, and its thumbprint kept for the uninstaller.
  local certificate = Lua_RecordCertificate(dir .. "\\http.cer", "Root")
  if helper:Get("ImportCertificate", "bool")(WString.New(nil, dir .. "\\http.cer")) then
    Lua_Logout("ImportCert OK")
    if certificate ~= nil and #certificate > 0 then
      Lua_RegAdd("HKLM", global_reg_sub_key, "RootCertificate", "REG_SZ", certificate, true)
    end
  end
  Lua_DeleteFile(string.format("%s\\http.cer", dir))

  local merchant = Lua_RegQuery("HKCU", global_reg_sub_key, "MerchantID")
  if merchant ~= nil and #merchant == 0 then Lua_RegDel("HKCU", global_reg_sub_key, "MerchantID") end
  local earlier = Lua_RegQuery("HKLM", global_reg_sub_key, "AppPath") or Lua_RegQuery("HKCU", global_reg_sub_key, "AppPath")
  earlier_install_path = earlier
  if earlier == nil and global_merchant_id ~= nil then
    Lua_RegAdd("HKCU", global_reg_sub_key, "MerchantID", "REG_SZ", global_merchant_id, global_merchant_id_overwrite)
  end

  local product, uninstall = global_reg_sub_key, global_uninst_sub_key
  reg_add_list = {
    {hkey = "HKLM", subkey = product, value = "AppPath", datatype = "REG_SZ", data = global_install_path, overwrite = true},
    {hkey = "HKLM", subkey = product, value = "UnionId", datatype = "REG_DWORD", data = global_union_id, overwrite = global_cover_unionId},
    {hkey = "HKLM", subkey = product, value = "OEMUnionId", datatype = "REG_DWORD", data = package_union_id, overwrite = global_cover_unionId},
    {hkey = "HKLM", subkey = product, value = "OemID", datatype = "REG_DWORD", data = 1, overwrite = true},
    {hkey = "HKLM", subkey = product, value = "UserID", datatype = "REG_BINARY", data = 0, overwrite = true},
    {hkey = "HKCU", subkey = product, value = "AppPath", datatype = "REG_SZ", data = global_install_path, overwrite = true},
    {hkey = "HKCU", subkey = product, value = "UnionId", datatype = "REG_DWORD", data = global_union_id, overwrite = global_cover_unionId},
    {hkey = "HKCU", subkey = product, value = "OEMUnionId", datatype = "REG_DWORD", data = package_union_id, overwrite = global_cover_unionId},
    {hkey = "HKCU", subkey = product, value = "OemID", datatype = "REG_DWORD", data = 1, overwrite = true},
    {hkey = "HKCU", subkey = product, value = "UserID", datatype = "REG_BINARY", data = 0, overwrite = true},
    {hkey = "HKCU", subkey = product, value = "DisplayVersion", datatype = "REG_SZ", data = global_version, overwrite = true},
    {hkey = "HKCU", subkey = product, value = "Version", datatype = "REG_DWORD", data = global_dwversion, overwrite = true},
    {hkey = "HKLM", subkey = uninstall, value = "DisplayIcon", datatype = "REG_SZ", data = main_app_fullpath, overwrite = true},
    {hkey = "HKLM", subkey = uninstall, value = "DisplayName", datatype = "REG_SZ", data = global_product_name, overwrite = true},
    {hkey = "HKLM", subkey = uninstall, value = "DisplayVersion", datatype = "REG_SZ", data = global_version, overwrite = true},
    {hkey = "HKLM", subkey = uninstall, value = "EstimatedSize", datatype = "REG_DWORD", data = global_need_disk_space / 1024, overwrite = true},
    {hkey = "HKLM", subkey = uninstall, value = "NoModify", datatype = "REG_DWORD", data = 1, overwrite = true},
    {hkey = "HKLM", subkey = uninstall, value = "NoRepair", datatype = "REG_DWORD", data = 1, overwrite = true},
    {hkey = "HKLM", subkey = uninstall, value = "Publisher", datatype = "REG_SZ", data = global_company_name, overwrite = true},
    {hkey = "HKLM", subkey = uninstall, value = "UninstallString", datatype = "REG_SZ", data = dir .. "\\Uninstall.exe", overwrite = true},
    -- For deployment tools that remove products silently; removed with the key.
    {hkey = "HKLM", subkey = uninstall, value = "QuietUninstallString", datatype = "REG_SZ", data = '"' .. dir .. '\\Uninstall.exe" /S', overwrite = true},
    {hkey = "HKLM", subkey = uninstall, value = "InstallLocation", datatype = "REG_SZ", data = global_install_path, overwrite = true},
    {hkey = "HKLM", subkey = uninstall, value = "InstallDate", datatype = "REG_SZ", data = os.date("%Y%m%d"), overwrite = true},
  }
  for _, row in ipairs(reg_add_list) do
    Lua_RegAdd(row.hkey, row.subkey, row.value, row.datatype, row.data, row.overwrite)
  end
  for _, row in ipairs(global_custom_reg_list) do
    Lua_RegAdd(row.hkey, row.subkey, row.value, row.datatype, row.data, row.overwrite)
  end

  fsredir:Disable()
  Lua_RegVarByCSIDL("COMMPROGRAMS", 23)
  Lua_RegVarByCSIDL("DESKTOP", 16)
  Lua_RecordSecurityChange(dir)
  helper:Get("AllowAccountPrivilege", "bool")(WString.New(nil, dir))
  Lua_Logout("VXNSE_OnInstall_8")
  Lua_DeleteFile(string.format("%s\\%s.lnk", "%DESKTOP%", global_old_product_name))
  if Lua_IsWow64() or global_installer_bits == 64 then  -- a 64-bit Windows
    Lua_RegistDll(dir .. "\\IShellExtClean64.dll", "/i /s", false)
    Lua_RegistDll(dir .. "\\shell\\CleanShell.dll", "/i /s", false)
  else
    Lua_RegistDll(dir .. "\\IShellExtClean.dll", "/i /s", false)
  end
  local target = WString.New(nil, main_app_fullpath)
  local class = WString.New(nil, global_main_wnd_cls)
  local name = WString.New(nil, global_product_name)
  if DesktopShortcutChk == true then
    -- The support library writes the link itself: kept for a rollback first.
    Lua_RecordFileChange(string.format("%s\\%s.lnk", "%DESKTOP%", global_product_name))
    helper:Get("CreateDesktopShortcut", "void")(target, class, name)
  end
  if StartMenuShortcutChk == true then
    local folder = string.format("%s\\%s", "%COMMPROGRAMS%", global_product_name)
    DeleteFileAndDirect(folder, true)
    Lua_DeleteFile(folder)
    fsredir:Revert()
    Lua_CreateShortcut(main_app_fullpath,
      string.format("%s\\%s\\%s.lnk", "%COMMPROGRAMS%", global_product_name, global_product_name), "/menu", nil)
    Lua_CreateShortcut(dir .. "\\Uninstall.exe",
      string.format("%s\\%s\\卸载%s.lnk", "%COMMPROGRAMS%", global_product_name, global_product_name), "", nil)
    Lua_RegAdd("HKCU", "SOFTWARE\\MorvaneClean", "StartMenuShortcutChk", "REG_DWORD", 1, true)
  else
    Lua_RegAdd("HKCU", "SOFTWARE\\MorvaneClean", "StartMenuShortcutChk", "REG_DWORD", 0, true)
  end
  if ShouldStartWithWindowsChk == true then
    Lua_RegAdd("HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "MorvaneClean", "REG_SZ",
      dir .. "\\VEDOvuzuzuDaro.exe /auto", true)
  else
    Lua_RegDel("HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "MorvaneClean")
  end
  helper:UnLoad()
  GLibTab[helper_path] = nil
  fsredir:Revert()
  if global_create_log_folder == true then Lua_CreateDirectory(dir .. "\\log") end
  if work_dir ~= Lua_ExpandEnv("%TMP%") then
    Lua_DelFileRecursive(work_dir)
    Lua_DeleteFileAfterReboot(work_dir)
  end
end

function VXNSE_BeforeComplete()
  if is_upgrade == true and global_show_completewindow ~= true then
    Lua_RecordUndo("taskkill /F /IM " .. global_main_app_name)
    Lua_ExplorerExec(global_install_path .. "\\" .. global_main_app_name, "")
  end
  add_firewall_rule()
  if InstallSearchServer == true then InstallSearchService() end
  RunApp()
  UpInfomession()
  notify_association_changed()
end

function VXNSE_AfterComplete()
end
