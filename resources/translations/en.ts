<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
  <context>
    <name>BaseMeshViewer</name>
    <message>
      <source>Select a 3D mesh to edit</source>
      <translation>Select a 3D mesh to edit</translation>
    </message>
  </context>
  <context>
    <name>CreateProjectDialog</name>
    <message>
      <source>Project name is empty, Please try again.</source>
      <translation>Project name is empty. Please try again.</translation>
    </message>
    <message>
      <source>Project '%1' already exist! Please try again.</source>
      <translation>Project '%1' already exists! Please try again.</translation>
    </message>
  </context>
  <context>
    <name>CreateProjectDialogClass</name>
    <message>
      <source>New Project</source>
      <translation>New Project</translation>
    </message>
    <message>
      <source>Project Name:</source>
      <translation>Project Name:</translation>
    </message>
    <message>
      <source>Project Type:</source>
      <translation>Project Type:</translation>
    </message>
    <message>
      <source>Ok</source>
      <translation>OK</translation>
    </message>
    <message>
      <source>Cancel</source>
      <translation>Cancel</translation>
    </message>
  </context>
  <context>
    <name>LumoEditor</name>
    <message>
      <source>Clean pack cache</source>
      <translation>Clean pack cache</translation>
    </message>
    <message>
      <source>The pack cache cannot be cleaned now</source>
      <translation>The pack cache cannot be cleaned now</translation>
    </message>
    <message>
      <source>Pack cache cleaned</source>
      <translation>Pack cache cleaned</translation>
    </message>
    <message>
      <source>The pack cache could not be removed</source>
      <translation>The pack cache could not be removed</translation>
    </message>
    <message>
      <source>Portrait</source>
      <translation>Portrait</translation>
    </message>
    <message>
      <source>Landscape</source>
      <translation>Landscape</translation>
    </message>
    <message>
      <source>The help page is not installed.</source>
      <translation>The help page is not installed.</translation>
    </message>
    <message>
      <source>No program is set up to show the help page.</source>
      <translation>No program is set up to show the help page.</translation>
    </message>
    <message>
      <source>About LumoEditor</source>
      <translation>About LumoEditor</translation>
    </message>
    <message>
      <source>Copyright (C) 2026 The LumoEditor developers.</source>
      <translation>Copyright (C) 2026 The LumoEditor developers.</translation>
    </message>
    <message>
      <source>Website</source>
      <translation>Website</translation>
    </message>
    <message>
      <source>Cancel</source>
      <translation>Cancel</translation>
    </message>
    <message>
      <source>No web browser is set up to open %1.</source>
      <translation>No web browser is set up to open %1.</translation>
    </message>
    <message>
      <source>No file manager is set up to show %1</source>
      <translation>No file manager is set up to show %1</translation>
    </message>
    <message>
      <source>Open Project</source>
      <translation>Open Project</translation>
    </message>
    <message>
      <source>Filter project can not open this from here! Please restart LumoEditor, and open this project from project pannel</source>
      <translation>A filter project cannot be opened here. Please restart LumoEditor and open it from the project panel.</translation>
    </message>
  </context>
  <context>
    <name>LumoEditorClass</name>
    <message>
      <source>Project</source>
      <translation>Project</translation>
    </message>
    <message>
      <source>Items View</source>
      <translation>Items</translation>
    </message>
    <message>
      <source>tipAddItem</source>
      <translation>Add an item to the selected category or group</translation>
    </message>
    <message>
      <source>tipDeleteItem</source>
      <translation>Delete the selected item</translation>
    </message>
    <message>
      <source>tipMoveUpItem</source>
      <translation>Move the selected item up</translation>
    </message>
    <message>
      <source>tipMoveDownItem</source>
      <translation>Move the selected item down</translation>
    </message>
    <message>
      <source>Vexa View</source>
      <translation>Vexa View</translation>
    </message>
    <message>
      <source>tipPlayVideo</source>
      <translation>Start the camera preview</translation>
    </message>
    <message>
      <source>tipStopVideo</source>
      <translation>Stop the camera preview</translation>
    </message>
    <message>
      <source>tipSynCrerentBundle</source>
      <translation>Pack the current project and reload it into the preview</translation>
    </message>
    <message>
      <source>tipLoadBundle</source>
      <translation>Load a bundle file into the preview</translation>
    </message>
    <message>
      <source>Bundles</source>
      <translation>Bundles</translation>
    </message>
    <message>
      <source>Front</source>
      <translation>Front</translation>
    </message>
    <message>
      <source>Maximize</source>
      <translation>Maximize</translation>
    </message>
    <message>
      <source>Left</source>
      <translation>Left</translation>
    </message>
    <message>
      <source>Free</source>
      <translation>Free</translation>
    </message>
    <message>
      <source>Vexa Preview</source>
      <translation>Vexa Preview</translation>
    </message>
    <message>
      <source>Rotation:</source>
      <translation>Rotation:</translation>
    </message>
    <message>
      <source>Scale:</source>
      <translation>Scale:</translation>
    </message>
    <message>
      <source>Attributes</source>
      <translation>Attributes</translation>
    </message>
    <message>
      <source>Name:</source>
      <translation>Name:</translation>
    </message>
    <message>
      <source>Texture:</source>
      <translation>Texture:</translation>
    </message>
    <message>
      <source>Flip Horizontal:</source>
      <translation>Flip Horizontal:</translation>
    </message>
    <message>
      <source>Flip Vertical:</source>
      <translation>Flip Vertical:</translation>
    </message>
    <message>
      <source>Position:</source>
      <translation>Position:</translation>
    </message>
    <message>
      <source>Size:</source>
      <translation>Size:</translation>
    </message>
    <message>
      <source>W</source>
      <translation>W</translation>
    </message>
    <message>
      <source>H</source>
      <translation>H</translation>
    </message>
    <message>
      <source>Keep Aspect:</source>
      <translation>Keep Aspect:</translation>
    </message>
    <message>
      <source>Background:</source>
      <translation>Background:</translation>
    </message>
    <message>
      <source>Full Screen:</source>
      <translation>Full Screen:</translation>
    </message>
    <message>
      <source>Landscape:</source>
      <translation>Landscape:</translation>
    </message>
    <message>
      <source>FPS:</source>
      <translation>FPS:</translation>
    </message>
    <message>
      <source>Loop Type:</source>
      <translation>Loop Type:</translation>
    </message>
    <message>
      <source>Infinite Loop</source>
      <translation>Infinite Loop</translation>
    </message>
    <message>
      <source>Loop Count</source>
      <translation>Loop Count</translation>
    </message>
    <message>
      <source>Loop 1 Stay</source>
      <translation>Loop 1 Stay</translation>
    </message>
    <message>
      <source>Loop Count:</source>
      <translation>Loop Count:</translation>
    </message>
    <message>
      <source>Trigger Start:</source>
      <translation>Trigger Start:</translation>
    </message>
    <message>
      <source>Default</source>
      <translation>Default</translation>
    </message>
    <message>
      <source>NewFace</source>
      <translation>NewFace</translation>
    </message>
    <message>
      <source>AlwaysRender</source>
      <translation>AlwaysRender</translation>
    </message>
    <message>
      <source>FaceAction</source>
      <translation>FaceAction</translation>
    </message>
    <message>
      <source>Start Action:</source>
      <translation>Start Action:</translation>
    </message>
    <message>
      <source>Trigger End:</source>
      <translation>Trigger End:</translation>
    </message>
    <message>
      <source>End Action:</source>
      <translation>End Action:</translation>
    </message>
    <message>
      <source>Keep Action:</source>
      <translation>Keep Action:</translation>
    </message>
    <message>
      <source>File Explorer</source>
      <translation>File Explorer</translation>
    </message>
    <message>
      <source>tipPackOption</source>
      <translation>Pack mode: Auto builds the files and the bundle; Step 1 only builds the files in out/; Step 2 only zips and signs the existing out/ folder</translation>
    </message>
    <message>
      <source>Auto</source>
      <translation>Auto</translation>
    </message>
    <message>
      <source>Step 1</source>
      <translation>Step 1</translation>
    </message>
    <message>
      <source>Step 2</source>
      <translation>Step 2</translation>
    </message>
    <message>
      <source>Pack  Bundle</source>
      <translation>Pack Bundle</translation>
    </message>
    <message>
      <source>Mesh:</source>
      <translation>Mesh:</translation>
    </message>
    <message>
      <source>Position</source>
      <translation>Position</translation>
    </message>
    <message>
      <source>Rotation</source>
      <translation>Rotation</translation>
    </message>
    <message>
      <source>Scale</source>
      <translation>Scale</translation>
    </message>
    <message>
      <source>Weight Map:</source>
      <translation>Weight Map:</translation>
    </message>
    <message>
      <source>File</source>
      <translation>File</translation>
    </message>
    <message>
      <source>Language</source>
      <translation>Language</translation>
    </message>
    <message>
      <source>Help</source>
      <translation>Help</translation>
    </message>
    <message>
      <source>Tool Bar</source>
      <translation>Tool Bar</translation>
    </message>
    <message>
      <source>Open Project</source>
      <translation>Open Project</translation>
    </message>
    <message>
      <source>Save Project</source>
      <translation>Save Project</translation>
    </message>
    <message>
      <source>Save as Project</source>
      <translation>Save Project As</translation>
    </message>
    <message>
      <source>New Project</source>
      <translation>New Project</translation>
    </message>
    <message>
      <source>Chinese</source>
      <translation>Chinese</translation>
    </message>
    <message>
      <source>English</source>
      <translation>English</translation>
    </message>
    <message>
      <source>View Help</source>
      <translation>View Help</translation>
    </message>
    <message>
      <source>About LumoEditor</source>
      <translation>About LumoEditor</translation>
    </message>
  </context>
  <context>
    <name>PreChoiceController</name>
    <message>
      <source>Recent Projects</source>
      <translation>Recent Projects</translation>
    </message>
    <message>
      <source>Open Project</source>
      <translation>Open Project</translation>
    </message>
    <message>
      <source>Tintworks not found, please update your LumoEditor.</source>
      <translation>Tintworks was not found. Please update your LumoEditor.</translation>
    </message>
    <message>
      <source>Project file is not exist!</source>
      <translation>The project file does not exist!</translation>
    </message>
    <message>
      <source>Delete</source>
      <translation>Delete</translation>
    </message>
    <message>
      <source>The folder
%1
cannot be moved to the trash. Erase it and everything in it for good?</source>
      <translation>The folder
%1
cannot be moved to the trash. Erase it and everything in it for good?</translation>
    </message>
    <message>
      <source>Only projects inside the Projects folder can be deleted.</source>
      <translation>Only projects inside the Projects folder can be deleted.</translation>
    </message>
  </context>
  <context>
    <name>PreChoiceControllerClass</name>
    <message>
      <source>Create New  Project</source>
      <translation>Create New Project</translation>
    </message>
    <message>
      <source>Open Project</source>
      <translation>Open Project</translation>
    </message>
  </context>
  <context>
    <name>TreeViewController</name>
    <message>
      <source>2D</source>
      <translation>2D</translation>
    </message>
    <message>
      <source>AR Mesh</source>
      <translation>AR Mesh</translation>
    </message>
    <message>
      <source>3D</source>
      <translation>3D</translation>
    </message>
    <message>
      <source>Edit %1</source>
      <translation>Edit %1</translation>
    </message>
    <message>
      <source>Select Texture</source>
      <translation>Select Texture</translation>
    </message>
    <message>
      <source>Move</source>
      <translation>Move</translation>
    </message>
    <message>
      <source>Forbidden</source>
      <translation>Not available for this project type</translation>
    </message>
    <message>
      <source>Add item</source>
      <translation>Add item</translation>
    </message>
    <message>
      <source>Delete item</source>
      <translation>Delete item</translation>
    </message>
    <message>
      <source>Group</source>
      <translation>Group</translation>
    </message>
    <message>
      <source>Move up</source>
      <translation>Move up</translation>
    </message>
    <message>
      <source>Move down</source>
      <translation>Move down</translation>
    </message>
    <message>
      <source>Rename</source>
      <translation>Rename</translation>
    </message>
    <message>
      <source>Change texture</source>
      <translation>Change texture</translation>
    </message>
    <message>
      <source>Warning!</source>
      <translation>Warning!</translation>
    </message>
    <message>
      <source>Naming Conventions Invalid.</source>
      <translation>The file name does not follow the naming convention (name_00000.png).</translation>
    </message>
    <message>
      <source>Select Mesh</source>
      <translation>Select Mesh</translation>
    </message>
    <message>
      <source>Change mesh</source>
      <translation>Change mesh</translation>
    </message>
    <message>
      <source>Add Child</source>
      <translation>Add Child</translation>
    </message>
    <message>
      <source>Delete</source>
      <translation>Delete</translation>
    </message>
    <message>
      <source>Add Group</source>
      <translation>Add Group</translation>
    </message>
    <message>
      <source>Drop files</source>
      <translation>Drop files</translation>
    </message>
    <message>
      <source>Project Failed</source>
      <translation>Project Failed</translation>
    </message>
    <message>
      <source>Project Saved</source>
      <translation>Project Saved</translation>
    </message>
    <message>
      <source>Please enter new project name for save as</source>
      <translation>Enter the name of the new project to save as</translation>
    </message>
    <message>
      <source>Project '%1' already exist! Please try again.</source>
      <translation>Project '%1' already exists! Please try again.</translation>
    </message>
    <message>
      <source>The project has unsaved changes. Save them?</source>
      <translation>The project has unsaved changes. Save them?</translation>
    </message>
    <message>
      <source>Edit</source>
      <translation>Edit</translation>
    </message>
    <message>
      <source>Undo</source>
      <translation>Undo</translation>
    </message>
    <message>
      <source>Redo</source>
      <translation>Redo</translation>
    </message>
    <message>
      <source>Undo History</source>
      <translation>Undo History</translation>
    </message>
    <message>
      <source>&lt;project opened&gt;</source>
      <translation>&lt;project opened&gt;</translation>
    </message>
  </context>
  <context>
    <name>VexaViewController</name>
    <message>
      <source>Bundles</source>
      <translation>Bundles</translation>
    </message>
    <message>
      <source>bundle is older than the project, pack to see your changes</source>
      <translation>The bundle is older than the project: pack it to see your changes</translation>
    </message>
    <message>
      <source>vexa can not load bundle</source>
      <translation>Vexa cannot load the bundle</translation>
    </message>
    <message>
      <source>Load Bundle</source>
      <translation>Load Bundle</translation>
    </message>
    <message>
      <source>bundle with same name exist !</source>
      <translation>A bundle with the same name is already loaded!</translation>
    </message>
    <message>
      <source>bundle loaded</source>
      <translation>Bundle loaded</translation>
    </message>
    <message>
      <source>Add Bundle</source>
      <translation>Add Bundle</translation>
    </message>
    <message>
      <source>Delete</source>
      <translation>Delete</translation>
    </message>
    <message>
      <source>Enable</source>
      <translation>Enable</translation>
    </message>
    <message>
      <source>Disable</source>
      <translation>Disable</translation>
    </message>
    <message>
      <source>Move up</source>
      <translation>Move up</translation>
    </message>
    <message>
      <source>Move down</source>
      <translation>Move down</translation>
    </message>
    <message>
      <source>bundle removed</source>
      <translation>Bundle removed</translation>
    </message>
  </context>
  <context>
    <name>lumovexawidget</name>
    <message>
      <source>Camera</source>
      <translation>Camera</translation>
    </message>
    <message>
      <source>Video file…</source>
      <translation>Video file…</translation>
    </message>
    <message>
      <source>Picture…</source>
      <translation>Picture…</translation>
    </message>
    <message>
      <source>Videos (*.avi *.mp4 *.mkv *.mov *.webm);;All files (*)</source>
      <translation>Videos (*.avi *.mp4 *.mkv *.mov *.webm);;All files (*)</translation>
    </message>
    <message>
      <source>Pictures (*.png *.jpg *.jpeg *.bmp *.tga *.webp)</source>
      <translation>Pictures (*.png *.jpg *.jpeg *.bmp *.tga *.webp)</translation>
    </message>
    <message>
      <source>No camera found.
Right-click here to play a video file or a picture instead.</source>
      <translation>No camera found.
Right-click here to play a video file or a picture instead.</translation>
    </message>
    <message>
      <source>The Vexa runtime could not be set up.</source>
      <translation>The Vexa runtime could not be set up.</translation>
    </message>
    <message>
      <source>Press play to start the preview.</source>
      <translation>Press play to start the preview.</translation>
    </message>
    <message>
      <source>camera init failed</source>
      <translation>The camera could not be started</translation>
    </message>
    <message>
      <source>can not read %1</source>
      <translation>Cannot read %1</translation>
    </message>
  </context>
</TS>
