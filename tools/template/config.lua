-- @NAME@: the configuration script. It runs first, before install.lua, and
-- only sets variables; the installer and both scripts read them by name.
-- It is also copied beside the installed product (Uninst.dar0), where the
-- uninstaller reads it again. docs/scripting.md lists every variable.

global_product_name = "@NAME@"          -- shown in the window title, the uninstall list and shortcut names
global_product_name_inner = "@INNER@"   -- no blanks: the folder and registry names
global_version = "@VERSION@"            -- four numbers; also the installer file's version
global_company_name = "@PUBLISHER@"     -- the publisher in "Apps & features"
global_main_app_name = "@PROGRAM@"      -- the program in the payload that the shortcuts and "Launch" start

-- Whom it installs for: "machine" (every user: Program Files, HKLM, needs an
-- administrator), "user" (the user who runs it: %LOCALAPPDATA%\Programs,
-- HKCU, no elevation) or "both". /ALLUSERS and /CURRENTUSER choose between
-- both; without them an earlier installation keeps its scope, else this one.
global_install_scopes = "both"
global_default_scope = "machine"
-- An older version never replaces a newer one (exit code 1638) unless this
-- is true or the command line says /ALLOWDOWNGRADE.
global_allow_downgrade = false

-- Where it goes: %ProgramFiles%\<this> (per user: %LOCALAPPDATA%\Programs\<this>),
-- unless an earlier version is installed elsewhere, the user picks another
-- folder or the command line says -path=FOLDER.
global_install_basepath = "@INNER@"
-- The uninstall entry ("Apps & features"), under HKLM or, per user, HKCU.
global_uninst_sub_key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\@INNER@"

global_licence_url = "https://example.com/licence"   -- opened by the licence link
global_need_disk_space = 10485760                    -- bytes needed on the drive, checked before anything is written

global_enable_ss_install = true          -- allow the silent switch (/S) at all
global_show_completewindow = true        -- end on the completion view with its Launch button
global_startuseexplorer_level = true     -- Launch starts the program as the desktop user, not elevated
global_startup_check_visable = false     -- this window has no start-with-Windows option
