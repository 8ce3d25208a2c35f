// The OpenGL entry points of the shader driver, taken from the current
// context through SDL (no link-time OpenGL library), so that one source
// serves OpenGL 3.3 core, OpenGL ES 3.0 and WebGL 2. Only calls all three
// have, with the same meaning, are listed. Internal to the shader driver.
#pragma once

#define GL_GLES_PROTOTYPES 0
#include <GLES3/gl3.h>

namespace kelvora {

struct TGL3Api {
    PFNGLACTIVETEXTUREPROC ActiveTexture;
    PFNGLATTACHSHADERPROC AttachShader;
    PFNGLBINDATTRIBLOCATIONPROC BindAttribLocation;
    PFNGLBINDBUFFERPROC BindBuffer;
    PFNGLBINDTEXTUREPROC BindTexture;
    PFNGLBINDVERTEXARRAYPROC BindVertexArray;
    PFNGLBLENDFUNCPROC BlendFunc;
    PFNGLBUFFERDATAPROC BufferData;
    PFNGLBUFFERSUBDATAPROC BufferSubData;
    PFNGLCLEARPROC Clear;
    PFNGLCLEARCOLORPROC ClearColor;
    PFNGLCOMPILESHADERPROC CompileShader;
    PFNGLCREATEPROGRAMPROC CreateProgram;
    PFNGLCREATESHADERPROC CreateShader;
    PFNGLDELETEBUFFERSPROC DeleteBuffers;
    PFNGLDELETEPROGRAMPROC DeleteProgram;
    PFNGLDELETESHADERPROC DeleteShader;
    PFNGLDELETETEXTURESPROC DeleteTextures;
    PFNGLDELETEVERTEXARRAYSPROC DeleteVertexArrays;
    PFNGLDISABLEPROC Disable;
    PFNGLDRAWARRAYSPROC DrawArrays;
    PFNGLDRAWELEMENTSPROC DrawElements;
    PFNGLENABLEPROC Enable;
    PFNGLENABLEVERTEXATTRIBARRAYPROC EnableVertexAttribArray;
    PFNGLFINISHPROC Finish;
    PFNGLFLUSHPROC Flush;
    PFNGLGENBUFFERSPROC GenBuffers;
    PFNGLGENTEXTURESPROC GenTextures;
    PFNGLGENVERTEXARRAYSPROC GenVertexArrays;
    PFNGLGETERRORPROC GetError;
    PFNGLGETFLOATVPROC GetFloatv;
    PFNGLGETINTEGERVPROC GetIntegerv;
    PFNGLGETPROGRAMINFOLOGPROC GetProgramInfoLog;
    PFNGLGETPROGRAMIVPROC GetProgramiv;
    PFNGLGETSHADERINFOLOGPROC GetShaderInfoLog;
    PFNGLGETSHADERIVPROC GetShaderiv;
    PFNGLGETSTRINGPROC GetString;
    PFNGLGETUNIFORMLOCATIONPROC GetUniformLocation;
    PFNGLISPROGRAMPROC IsProgram;
    PFNGLISVERTEXARRAYPROC IsVertexArray;
    PFNGLLINEWIDTHPROC LineWidth;
    PFNGLLINKPROGRAMPROC LinkProgram;
    PFNGLPIXELSTOREIPROC PixelStorei;
    PFNGLREADPIXELSPROC ReadPixels;
    PFNGLSCISSORPROC Scissor;
    PFNGLSHADERSOURCEPROC ShaderSource;
    PFNGLTEXIMAGE2DPROC TexImage2D;
    PFNGLTEXPARAMETERIPROC TexParameteri;
    PFNGLTEXSUBIMAGE2DPROC TexSubImage2D;
    PFNGLUNIFORM1IPROC Uniform1i;
    PFNGLUNIFORMMATRIX4FVPROC UniformMatrix4fv;
    PFNGLUSEPROGRAMPROC UseProgram;
    PFNGLVERTEXATTRIBPOINTERPROC VertexAttribPointer;
    PFNGLVIEWPORTPROC Viewport;
};

// With a context current: fills the table from it. False (the table then
// unusable) when an entry point is missing.
bool LoadGL3Api(TGL3Api& api);

// The table of the driver's current context.
const TGL3Api& GL3();
void SetGL3(const TGL3Api& api);

}  // namespace kelvora
