// Writes the interpolated vertex colour, opaque.
void main(float4 clipPosition : SV_Position, float3 color : COLOR, out float4 target : SV_Target)
{
    target = float4(color, 1.0);
}
