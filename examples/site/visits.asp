<%@ Language="VBScript" %>
<%
' Your chart: the values of ?values= when they are a list of numbers, else
' those this browser charted last, remembered in a cookie for 30 days. The
' legend comes from another page, run inside this one.
Option Explicit
Dim values, list
values = Request.QueryString("values")
Set list = New RegExp
list.Pattern = "^\d{1,4}(,\d{1,4}){0,11}$"
If Not list.Test(values) Then values = Request.Cookies("chart")("values")
If Not list.Test(values) Then values = "5,8,3"
Response.Cookies("chart")("values") = values
Response.Cookies("chart")("count") = CLng("0" & Request.Cookies("chart")("count")) + 1
Response.Cookies("chart").Expires = DateAdd("d", 30, Date)
Response.Cookies("chart").Path = "/"
Response.Cookies("chart").HttpOnly = True
%>
<!doctype html>
<html lang="en">
<head><meta charset="utf-8"><title>Your chart</title></head>
<body>
<h1>Your chart</h1>
<p>Visit <%= Response.Cookies("chart")("count") %> from this browser.</p>
<img id="visits-chart" src="chart.asp?values=<%= Server.URLEncode(values) %>&amp;title=Yours" width="320" height="200" alt="your chart">
<% Server.Execute "legend.asp" %>
</body>
</html>
