-- Queries run on the database that wixl built (installer/make_msi.sh), one a
-- line; lines starting with "--" are comments. @VERSION@ and @UPGRADE_CODE@
-- stand for the package's version and upgrade code.
--
-- The install folder per scope, set explicitly rather than left to Windows'
-- ALLUSERS=2 redirection (which Wine lacks): for the user,
-- %LOCALAPPDATA%\Programs\Cartscope (type 51, before the folders are resolved).
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('SetUserFolder', 51, 'INSTALLFOLDER', '[LocalAppDataFolder]Programs\Cartscope\')
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('SetUserFolder', 'NOT ALLUSERS', 990)
INSERT INTO `InstallUISequence` (`Action`, `Condition`, `Sequence`) VALUES ('SetUserFolder', 'NOT ALLUSERS', 990)
-- The installed-programs entry names the folder.
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('SetInstallLocation', 51, 'ARPINSTALLLOCATION', '[INSTALLFOLDER]')
INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('SetInstallLocation', 1010)
--
-- The property schema, for all users only: exports of the installed library,
-- deferred and run as the system (type 17 = DLL of an installed file, +1024
-- deferred, +2048 not impersonated, +256 rollback, +64 result ignored).
-- Registered after the files are in place; unregistered before they go. The
-- schema file itself is removed by the RemoveFile row below, also when the
-- property system refuses to unregister it.
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('RollbackPropertySchema', 3409, 'CartscopeDll', 'UninstallPropertySchema')
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('InstallPropertySchema', 3089, 'CartscopeDll', 'InstallPropertySchema')
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('UninstallPropertySchema', 3153, 'CartscopeDll', 'UninstallPropertySchema')
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('RollbackPropertySchema', 'ALLUSERS AND REMOVE<>"ALL"', 4010)
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('InstallPropertySchema', 'ALLUSERS AND REMOVE<>"ALL"', 4011)
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('UninstallPropertySchema', 'ALLUSERS AND REMOVE~="ALL"', 3400)
INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `FileName`, `DirProperty`, `InstallMode`) VALUES ('SchemaFile', 'Library', 'Cartscope.propdesc', 'INSTALLFOLDER', 2)
--
-- The user's autostart entry, when it starts the program being removed (type
-- 17 +1024 deferred, run as the user, +64 result ignored). Not when an upgrade
-- removes the old version: the new one keeps the entry's program path.
INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('RemoveAutostartEntry', 1105, 'CartscopeDll', 'RemoveAutostartEntry')
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('RemoveAutostartEntry', 'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE', 3401)
--
-- The same version is found with both ends of its range included (wixl 0.101
-- drops IncludeMaximum; the attributes are part of the row's key, so the row
-- is written anew: 2 only detect + 256 minimum + 512 maximum included).
DELETE FROM `Upgrade` WHERE `ActionProperty` = 'SAMEVERSIONFOUND'
INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMin`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('@UPGRADE_CODE@', '@VERSION@', '@VERSION@', 770, 'SAMEVERSIONFOUND')
--
-- Major upgrade: the older version goes completely before this one is
-- installed.
INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('RemoveExistingProducts', 1410)
