#include "render/gl3/gl3_api.h"

#include <SDL.h>

namespace kelvora {

namespace {

TGL3Api current{};

template <class F>
bool Load(F& f, const char* name)
{
    f = reinterpret_cast<F>(SDL_GL_GetProcAddress(name));
    return f != nullptr;
}

}  // namespace

bool LoadGL3Api(TGL3Api& a)
{
    bool ok = true;
#define KV_GL3_LOAD(name) ok = Load(a.name, "gl" #name) && ok
    KV_GL3_LOAD(ActiveTexture);
    KV_GL3_LOAD(AttachShader);
    KV_GL3_LOAD(BindAttribLocation);
    KV_GL3_LOAD(BindBuffer);
    KV_GL3_LOAD(BindTexture);
    KV_GL3_LOAD(BindVertexArray);
    KV_GL3_LOAD(BlendFunc);
    KV_GL3_LOAD(BufferData);
    KV_GL3_LOAD(BufferSubData);
    KV_GL3_LOAD(Clear);
    KV_GL3_LOAD(ClearColor);
    KV_GL3_LOAD(CompileShader);
    KV_GL3_LOAD(CreateProgram);
    KV_GL3_LOAD(CreateShader);
    KV_GL3_LOAD(DeleteBuffers);
    KV_GL3_LOAD(DeleteProgram);
    KV_GL3_LOAD(DeleteShader);
    KV_GL3_LOAD(DeleteTextures);
    KV_GL3_LOAD(DeleteVertexArrays);
    KV_GL3_LOAD(Disable);
    KV_GL3_LOAD(DrawArrays);
    KV_GL3_LOAD(DrawElements);
    KV_GL3_LOAD(Enable);
    KV_GL3_LOAD(EnableVertexAttribArray);
    KV_GL3_LOAD(Finish);
    KV_GL3_LOAD(Flush);
    KV_GL3_LOAD(GenBuffers);
    KV_GL3_LOAD(GenTextures);
    KV_GL3_LOAD(GenVertexArrays);
    KV_GL3_LOAD(GetError);
    KV_GL3_LOAD(GetFloatv);
    KV_GL3_LOAD(GetIntegerv);
    KV_GL3_LOAD(GetProgramInfoLog);
    KV_GL3_LOAD(GetProgramiv);
    KV_GL3_LOAD(GetShaderInfoLog);
    KV_GL3_LOAD(GetShaderiv);
    KV_GL3_LOAD(GetString);
    KV_GL3_LOAD(GetUniformLocation);
    KV_GL3_LOAD(IsProgram);
    KV_GL3_LOAD(IsVertexArray);
    KV_GL3_LOAD(LineWidth);
    KV_GL3_LOAD(LinkProgram);
    KV_GL3_LOAD(PixelStorei);
    KV_GL3_LOAD(ReadPixels);
    KV_GL3_LOAD(Scissor);
    KV_GL3_LOAD(ShaderSource);
    KV_GL3_LOAD(TexImage2D);
    KV_GL3_LOAD(TexParameteri);
    KV_GL3_LOAD(TexSubImage2D);
    KV_GL3_LOAD(Uniform1i);
    KV_GL3_LOAD(UniformMatrix4fv);
    KV_GL3_LOAD(UseProgram);
    KV_GL3_LOAD(VertexAttribPointer);
    KV_GL3_LOAD(Viewport);
#undef KV_GL3_LOAD
    return ok;
}

const TGL3Api& GL3() { return current; }

void SetGL3(const TGL3Api& api) { current = api; }

}  // namespace kelvora
