<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
  <context>
    <name>BaseMeshViewer</name>
    <message>
      <source>Select a 3D mesh to edit</source>
      <translation>请选择要编辑的 3D 网格</translation>
    </message>
  </context>
  <context>
    <name>CreateProjectDialog</name>
    <message>
      <source>Project name is empty, Please try again.</source>
      <translation>项目名称为空，请重新输入。</translation>
    </message>
    <message>
      <source>Project '%1' already exist! Please try again.</source>
      <translation>项目“%1”已存在！请换一个名称。</translation>
    </message>
  </context>
  <context>
    <name>CreateProjectDialogClass</name>
    <message>
      <source>New Project</source>
      <translation>新建项目</translation>
    </message>
    <message>
      <source>Project Name:</source>
      <translation>项目名称：</translation>
    </message>
    <message>
      <source>Project Type:</source>
      <translation>项目类型：</translation>
    </message>
    <message>
      <source>Ok</source>
      <translation>确定</translation>
    </message>
    <message>
      <source>Cancel</source>
      <translation>取消</translation>
    </message>
  </context>
  <context>
    <name>LumoEditor</name>
    <message>
      <source>Clean pack cache</source>
      <translation>清除打包缓存</translation>
    </message>
    <message>
      <source>The pack cache cannot be cleaned now</source>
      <translation>现在无法清除打包缓存</translation>
    </message>
    <message>
      <source>Pack cache cleaned</source>
      <translation>打包缓存已清除</translation>
    </message>
    <message>
      <source>The pack cache could not be removed</source>
      <translation>无法删除打包缓存</translation>
    </message>
    <message>
      <source>Portrait</source>
      <translation>竖屏</translation>
    </message>
    <message>
      <source>Landscape</source>
      <translation>横屏</translation>
    </message>
    <message>
      <source>The help page is not installed.</source>
      <translation>帮助页面尚未安装。</translation>
    </message>
    <message>
      <source>No program is set up to show the help page.</source>
      <translation>系统中没有可以打开帮助页面的程序。</translation>
    </message>
    <message>
      <source>About LumoEditor</source>
      <translation>关于 LumoEditor</translation>
    </message>
    <message>
      <source>Copyright (C) 2026 The LumoEditor developers.</source>
      <translation>版权所有 (C) 2026 LumoEditor 开发者。</translation>
    </message>
    <message>
      <source>Website</source>
      <translation>访问网站</translation>
    </message>
    <message>
      <source>Cancel</source>
      <translation>取消</translation>
    </message>
    <message>
      <source>No web browser is set up to open %1.</source>
      <translation>系统中没有可以打开 %1 的网页浏览器。</translation>
    </message>
    <message>
      <source>No file manager is set up to show %1</source>
      <translation>系统中没有可以显示 %1 的文件管理器</translation>
    </message>
    <message>
      <source>Open Project</source>
      <translation>打开项目</translation>
    </message>
    <message>
      <source>Filter project can not open this from here! Please restart LumoEditor, and open this project from project pannel</source>
      <translation>滤镜项目无法在这里打开！请重新启动 LumoEditor，并从项目面板中打开该项目。</translation>
    </message>
  </context>
  <context>
    <name>LumoEditorClass</name>
    <message>
      <source>Project</source>
      <translation>项目</translation>
    </message>
    <message>
      <source>Items View</source>
      <translation>素材列表</translation>
    </message>
    <message>
      <source>tipAddItem</source>
      <translation>向选中的分类或分组添加素材</translation>
    </message>
    <message>
      <source>tipDeleteItem</source>
      <translation>删除选中的素材</translation>
    </message>
    <message>
      <source>tipMoveUpItem</source>
      <translation>将选中的素材上移</translation>
    </message>
    <message>
      <source>tipMoveDownItem</source>
      <translation>将选中的素材下移</translation>
    </message>
    <message>
      <source>Vexa View</source>
      <translation>Vexa 预览</translation>
    </message>
    <message>
      <source>tipPlayVideo</source>
      <translation>开始摄像头预览</translation>
    </message>
    <message>
      <source>tipStopVideo</source>
      <translation>停止摄像头预览</translation>
    </message>
    <message>
      <source>tipSynCrerentBundle</source>
      <translation>打包当前项目并重新载入预览</translation>
    </message>
    <message>
      <source>tipLoadBundle</source>
      <translation>将特效包文件载入预览</translation>
    </message>
    <message>
      <source>Bundles</source>
      <translation>特效包</translation>
    </message>
    <message>
      <source>Front</source>
      <translation>正视图</translation>
    </message>
    <message>
      <source>Maximize</source>
      <translation>最大化</translation>
    </message>
    <message>
      <source>Left</source>
      <translation>左视图</translation>
    </message>
    <message>
      <source>Free</source>
      <translation>自由视图</translation>
    </message>
    <message>
      <source>Vexa Preview</source>
      <translation>Vexa 实时预览</translation>
    </message>
    <message>
      <source>Rotation:</source>
      <translation>旋转：</translation>
    </message>
    <message>
      <source>Scale:</source>
      <translation>缩放：</translation>
    </message>
    <message>
      <source>Attributes</source>
      <translation>属性</translation>
    </message>
    <message>
      <source>Name:</source>
      <translation>名称：</translation>
    </message>
    <message>
      <source>Texture:</source>
      <translation>纹理：</translation>
    </message>
    <message>
      <source>Flip Horizontal:</source>
      <translation>水平翻转：</translation>
    </message>
    <message>
      <source>Flip Vertical:</source>
      <translation>垂直翻转：</translation>
    </message>
    <message>
      <source>Position:</source>
      <translation>位置：</translation>
    </message>
    <message>
      <source>Size:</source>
      <translation>尺寸：</translation>
    </message>
    <message>
      <source>W</source>
      <translation>宽</translation>
    </message>
    <message>
      <source>H</source>
      <translation>高</translation>
    </message>
    <message>
      <source>Keep Aspect:</source>
      <translation>保持比例：</translation>
    </message>
    <message>
      <source>Background:</source>
      <translation>背景：</translation>
    </message>
    <message>
      <source>Full Screen:</source>
      <translation>全屏：</translation>
    </message>
    <message>
      <source>Landscape:</source>
      <translation>横屏：</translation>
    </message>
    <message>
      <source>FPS:</source>
      <translation>帧率：</translation>
    </message>
    <message>
      <source>Loop Type:</source>
      <translation>循环方式：</translation>
    </message>
    <message>
      <source>Infinite Loop</source>
      <translation>无限循环</translation>
    </message>
    <message>
      <source>Loop Count</source>
      <translation>按次数循环</translation>
    </message>
    <message>
      <source>Loop 1 Stay</source>
      <translation>播放一次后停留</translation>
    </message>
    <message>
      <source>Loop Count:</source>
      <translation>循环次数：</translation>
    </message>
    <message>
      <source>Trigger Start:</source>
      <translation>开始触发：</translation>
    </message>
    <message>
      <source>Default</source>
      <translation>默认</translation>
    </message>
    <message>
      <source>NewFace</source>
      <translation>出现人脸</translation>
    </message>
    <message>
      <source>AlwaysRender</source>
      <translation>始终显示</translation>
    </message>
    <message>
      <source>FaceAction</source>
      <translation>面部动作</translation>
    </message>
    <message>
      <source>Start Action:</source>
      <translation>开始动作：</translation>
    </message>
    <message>
      <source>Trigger End:</source>
      <translation>结束触发：</translation>
    </message>
    <message>
      <source>End Action:</source>
      <translation>结束动作：</translation>
    </message>
    <message>
      <source>Keep Action:</source>
      <translation>保持动作：</translation>
    </message>
    <message>
      <source>File Explorer</source>
      <translation>打开文件夹</translation>
    </message>
    <message>
      <source>tipPackOption</source>
      <translation>打包方式：“自动”生成文件并打包；“步骤 1”只生成 out/ 中的文件；“步骤 2”只将现有的 out/ 文件夹压缩并签名</translation>
    </message>
    <message>
      <source>Auto</source>
      <translation>自动</translation>
    </message>
    <message>
      <source>Step 1</source>
      <translation>步骤 1</translation>
    </message>
    <message>
      <source>Step 2</source>
      <translation>步骤 2</translation>
    </message>
    <message>
      <source>Pack  Bundle</source>
      <translation>打包特效</translation>
    </message>
    <message>
      <source>Mesh:</source>
      <translation>网格：</translation>
    </message>
    <message>
      <source>Position</source>
      <translation>位置</translation>
    </message>
    <message>
      <source>Rotation</source>
      <translation>旋转</translation>
    </message>
    <message>
      <source>Scale</source>
      <translation>缩放</translation>
    </message>
    <message>
      <source>Weight Map:</source>
      <translation>权重图：</translation>
    </message>
    <message>
      <source>File</source>
      <translation>文件</translation>
    </message>
    <message>
      <source>Language</source>
      <translation>语言</translation>
    </message>
    <message>
      <source>Help</source>
      <translation>帮助</translation>
    </message>
    <message>
      <source>Tool Bar</source>
      <translation>工具栏</translation>
    </message>
    <message>
      <source>Open Project</source>
      <translation>打开项目</translation>
    </message>
    <message>
      <source>Save Project</source>
      <translation>保存项目</translation>
    </message>
    <message>
      <source>Save as Project</source>
      <translation>项目另存为</translation>
    </message>
    <message>
      <source>New Project</source>
      <translation>新建项目</translation>
    </message>
    <message>
      <source>Chinese</source>
      <translation>中文</translation>
    </message>
    <message>
      <source>English</source>
      <translation>英文</translation>
    </message>
    <message>
      <source>View Help</source>
      <translation>查看帮助</translation>
    </message>
    <message>
      <source>About LumoEditor</source>
      <translation>关于 LumoEditor</translation>
    </message>
  </context>
  <context>
    <name>PreChoiceController</name>
    <message>
      <source>Recent Projects</source>
      <translation>最近的项目</translation>
    </message>
    <message>
      <source>Open Project</source>
      <translation>打开项目</translation>
    </message>
    <message>
      <source>Tintworks not found, please update your LumoEditor.</source>
      <translation>未找到 Tintworks，请更新 LumoEditor。</translation>
    </message>
    <message>
      <source>Project file is not exist!</source>
      <translation>项目文件不存在！</translation>
    </message>
    <message>
      <source>Delete</source>
      <translation>删除</translation>
    </message>
    <message>
      <source>The folder
%1
cannot be moved to the trash. Erase it and everything in it for good?</source>
      <translation>文件夹
%1
无法移到回收站。要永久删除该文件夹及其中的全部内容吗？</translation>
    </message>
    <message>
      <source>Only projects inside the Projects folder can be deleted.</source>
      <translation>只能删除 Projects 文件夹中的项目。</translation>
    </message>
  </context>
  <context>
    <name>PreChoiceControllerClass</name>
    <message>
      <source>Create New  Project</source>
      <translation>新建项目</translation>
    </message>
    <message>
      <source>Open Project</source>
      <translation>打开项目</translation>
    </message>
  </context>
  <context>
    <name>TreeViewController</name>
    <message>
      <source>2D</source>
      <translation type="unfinished" />
    </message>
    <message>
      <source>AR Mesh</source>
      <translation>AR 网格</translation>
    </message>
    <message>
      <source>3D</source>
      <translation type="unfinished" />
    </message>
    <message>
      <source>Edit %1</source>
      <translation>编辑 %1</translation>
    </message>
    <message>
      <source>Select Texture</source>
      <translation>选择纹理</translation>
    </message>
    <message>
      <source>Move</source>
      <translation>移动</translation>
    </message>
    <message>
      <source>Forbidden</source>
      <translation>此项目类型不可用</translation>
    </message>
    <message>
      <source>Add item</source>
      <translation>添加素材</translation>
    </message>
    <message>
      <source>Delete item</source>
      <translation>删除素材</translation>
    </message>
    <message>
      <source>Group</source>
      <translation>编组</translation>
    </message>
    <message>
      <source>Move up</source>
      <translation>上移</translation>
    </message>
    <message>
      <source>Move down</source>
      <translation>下移</translation>
    </message>
    <message>
      <source>Rename</source>
      <translation>重命名</translation>
    </message>
    <message>
      <source>Change texture</source>
      <translation>更换纹理</translation>
    </message>
    <message>
      <source>Warning!</source>
      <translation>警告！</translation>
    </message>
    <message>
      <source>Naming Conventions Invalid.</source>
      <translation>文件名不符合命名规范（应为 name_00000.png）。</translation>
    </message>
    <message>
      <source>Select Mesh</source>
      <translation>选择网格</translation>
    </message>
    <message>
      <source>Change mesh</source>
      <translation>更换网格</translation>
    </message>
    <message>
      <source>Add Child</source>
      <translation>添加子项</translation>
    </message>
    <message>
      <source>Delete</source>
      <translation>删除</translation>
    </message>
    <message>
      <source>Add Group</source>
      <translation>添加分组</translation>
    </message>
    <message>
      <source>Drop files</source>
      <translation>拖入文件</translation>
    </message>
    <message>
      <source>Project Failed</source>
      <translation>项目操作失败</translation>
    </message>
    <message>
      <source>Project Saved</source>
      <translation>项目已保存</translation>
    </message>
    <message>
      <source>Please enter new project name for save as</source>
      <translation>请输入另存为的新项目名称</translation>
    </message>
    <message>
      <source>Project '%1' already exist! Please try again.</source>
      <translation>项目“%1”已存在！请换一个名称。</translation>
    </message>
    <message>
      <source>The project has unsaved changes. Save them?</source>
      <translation>项目有未保存的更改，是否保存？</translation>
    </message>
    <message>
      <source>Edit</source>
      <translation>编辑</translation>
    </message>
    <message>
      <source>Undo</source>
      <translation>撤销</translation>
    </message>
    <message>
      <source>Redo</source>
      <translation>重做</translation>
    </message>
    <message>
      <source>Undo History</source>
      <translation>操作历史</translation>
    </message>
    <message>
      <source>&lt;project opened&gt;</source>
      <translation>&lt;打开项目&gt;</translation>
    </message>
  </context>
  <context>
    <name>VexaViewController</name>
    <message>
      <source>Bundles</source>
      <translation>特效包</translation>
    </message>
    <message>
      <source>bundle is older than the project, pack to see your changes</source>
      <translation>特效包比项目旧，请重新打包以查看更改</translation>
    </message>
    <message>
      <source>vexa can not load bundle</source>
      <translation>Vexa 无法加载该特效包</translation>
    </message>
    <message>
      <source>Load Bundle</source>
      <translation>加载特效包</translation>
    </message>
    <message>
      <source>bundle with same name exist !</source>
      <translation>已加载同名的特效包！</translation>
    </message>
    <message>
      <source>bundle loaded</source>
      <translation>特效包已加载</translation>
    </message>
    <message>
      <source>Add Bundle</source>
      <translation>添加特效包</translation>
    </message>
    <message>
      <source>Delete</source>
      <translation>删除</translation>
    </message>
    <message>
      <source>Enable</source>
      <translation>启用</translation>
    </message>
    <message>
      <source>Disable</source>
      <translation>禁用</translation>
    </message>
    <message>
      <source>Move up</source>
      <translation>上移</translation>
    </message>
    <message>
      <source>Move down</source>
      <translation>下移</translation>
    </message>
    <message>
      <source>bundle removed</source>
      <translation>特效包已移除</translation>
    </message>
  </context>
  <context>
    <name>lumovexawidget</name>
    <message>
      <source>Camera</source>
      <translation>摄像头</translation>
    </message>
    <message>
      <source>Video file…</source>
      <translation>视频文件…</translation>
    </message>
    <message>
      <source>Picture…</source>
      <translation>图片…</translation>
    </message>
    <message>
      <source>Videos (*.avi *.mp4 *.mkv *.mov *.webm);;All files (*)</source>
      <translation>视频 (*.avi *.mp4 *.mkv *.mov *.webm);;所有文件 (*)</translation>
    </message>
    <message>
      <source>Pictures (*.png *.jpg *.jpeg *.bmp *.tga *.webp)</source>
      <translation>图片 (*.png *.jpg *.jpeg *.bmp *.tga *.webp)</translation>
    </message>
    <message>
      <source>No camera found.
Right-click here to play a video file or a picture instead.</source>
      <translation>未找到摄像头。
可在此处单击右键，改为播放视频文件或图片。</translation>
    </message>
    <message>
      <source>The Vexa runtime could not be set up.</source>
      <translation>无法初始化 Vexa 运行库。</translation>
    </message>
    <message>
      <source>Press play to start the preview.</source>
      <translation>按下播放键开始预览。</translation>
    </message>
    <message>
      <source>camera init failed</source>
      <translation>摄像头启动失败</translation>
    </message>
    <message>
      <source>can not read %1</source>
      <translation>无法读取 %1</translation>
    </message>
  </context>
</TS>
