// Places each cube vertex with the three matrices of the constant buffer
// (column-major, acting on column vectors) and passes its colour on.
cbuffer Uniforms : register(b0)
{
    float4x4 projection;
    float4x4 view;
    float4x4 model;
};

// Outputs are out parameters rather than a returned struct, so that
// every shader compiler we meet accepts the file.
void main(float3 position : POSITION, float3 color : COLOR,
          out float4 clipPosition : SV_Position, out float3 outColor : COLOR)
{
    clipPosition = mul(projection, mul(view, mul(model, float4(position, 1.0))));
    outColor = color;
}
